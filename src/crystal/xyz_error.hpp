// Errors of the crystal library's file I/O.  The library never ends the
// process: every failure is thrown as Xyz_error, and only the C entry of
// morvane turns it into its exit-status contract.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace zorvak_crystal {

// Fixed I/O unit numbers: diagnostics name them.
inline constexpr int read_unit = 101;
inline constexpr int write_unit = 102;

enum class Error_kind {
    cannot_open,    // open failed; sys_errno() holds the system's reason
    end_of_file,    // the file ended before a group had all its values
    bad_value,      // a value that does not parse, or is out of range
    out_of_memory,  // storage for the atom arrays could not be obtained
    already_read,   // the record's xyz array was already present
    write_failed,   // a write or close failed; sys_errno() holds the reason
};

class Xyz_error : public std::runtime_error {
public:
    Xyz_error(Error_kind kind, std::string filename, int unit, int sys_errno,
              long line, int item, const std::string& message)
        : std::runtime_error(message),
          kind_(kind), filename_(std::move(filename)), unit_(unit),
          sys_errno_(sys_errno), line_(line), item_(item) {}

    Error_kind kind() const noexcept { return kind_; }
    const std::string& filename() const noexcept { return filename_; }
    int unit() const noexcept { return unit_; }
    // errno for cannot_open and write_failed, 0 otherwise.
    int sys_errno() const noexcept { return sys_errno_; }
    // 1-based line of the offending text; 0 when no line applies.
    long line() const noexcept { return line_; }
    // 1-based item within its group; 0 when no item applies.
    int item() const noexcept { return item_; }

private:
    Error_kind kind_;
    std::string filename_;
    int unit_;
    int sys_errno_;
    long line_;
    int item_;
};

}  // namespace zorvak_crystal
