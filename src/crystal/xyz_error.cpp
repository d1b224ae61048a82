#include "crystal/xyz_error.hpp"

#include <cerrno>
#include <utility>

#include "crystal/message_text.hpp"

namespace zorvak_crystal {

Xyz_error::Xyz_error(Error_kind kind, std::string filename, Where where, const std::string& message)
    : std::runtime_error(message),
      kind_(kind), filename_(std::move(filename)), unit_(where.unit),
      sys_errno_(where.sys_errno), line_(where.line), item_(where.item)
{
}

namespace {

// "<action> file '<name>' for reading|writing on unit <unit>: <reason>"
std::string system_failure(std::string_view action, const std::string& filename, int unit, int sys_errno)
{
    const char* direction = unit == read_unit ? " for reading" : " for writing";
    return std::string(action) + " file " + shown(filename) + direction + " on unit " + std::to_string(unit)
        + ": " + system_reason(sys_errno);
}

}  // namespace

Xyz_error Xyz_error::open_failure(std::string filename, int unit, int sys_errno)
{
    std::string message = system_failure("cannot open", filename, unit, sys_errno);
    return Xyz_error(Error_kind::cannot_open, std::move(filename), {unit, sys_errno}, message);
}

Xyz_error Xyz_error::read_failure(std::string filename, int sys_errno)
{
    std::string message = system_failure("cannot read", filename, read_unit, sys_errno);
    return Xyz_error(Error_kind::cannot_open, std::move(filename), {read_unit, sys_errno}, message);
}

Xyz_error Xyz_error::at_item(Error_kind kind, std::string filename, long line, int item,
                             std::string_view where, std::string_view what)
{
    std::string message = "file " + shown(filename) + ", line " + std::to_string(line) + ", item "
        + std::to_string(item) + " of " + std::string(where) + ": " + std::string(what)
        + " (unit " + std::to_string(read_unit) + ")";
    return Xyz_error(kind, std::move(filename), {read_unit, 0, line, item}, message);
}

Xyz_error Xyz_error::out_of_memory(std::string filename, std::string_view what)
{
    std::string message = "file " + shown(filename) + " on unit " + std::to_string(read_unit) + ": "
        + std::string(what);
    return Xyz_error(Error_kind::out_of_memory, std::move(filename), {read_unit, ENOMEM}, message);
}

Xyz_error Xyz_error::already_read(std::string filename)
{
    std::string message = "file " + shown(filename) + " on unit " + std::to_string(read_unit)
        + ": Attempting to allocate already allocated variable 'cryst'"
          " (its coordinates are present; release them before reading again)";
    return Xyz_error(Error_kind::already_read, std::move(filename), {read_unit}, message);
}

Xyz_error Xyz_error::write_failure(std::string filename, int sys_errno, std::string_view action)
{
    std::string message = system_failure(action, filename, write_unit, sys_errno);
    return Xyz_error(Error_kind::write_failed, std::move(filename), {write_unit, sys_errno}, message);
}

Xyz_error Xyz_error::record_refused(std::string filename, std::string_view what)
{
    std::string message = "cannot write file " + shown(filename) + " on unit " + std::to_string(write_unit)
        + ": " + std::string(what);
    return Xyz_error(Error_kind::bad_value, std::move(filename), {write_unit}, message);
}

}  // namespace zorvak_crystal
