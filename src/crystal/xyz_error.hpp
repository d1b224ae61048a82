// Errors of the crystal library's file I/O.  The library never ends the
// process: every failure is thrown as Xyz_error, and only the C entry of
// morvane turns it into its exit-status contract.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zorvak_crystal {

// Fixed I/O unit numbers: diagnostics name them.
inline constexpr int read_unit = 101;
inline constexpr int write_unit = 102;

enum class Error_kind {
    cannot_open,    // open or read failed; sys_errno() holds the system's reason
    end_of_file,    // the file ended before a group had all its values
    bad_value,      // a value that does not parse, or is out of range
    out_of_memory,  // storage for the atom arrays could not be obtained
    already_read,   // the record's xyz array was already present
    write_failed,   // a write or close failed; sys_errno() holds the reason
};

// Each factory composes one form of message, so every message of a kind
// reads the same wherever it is raised.
class Xyz_error : public std::runtime_error {
public:
    // "cannot open file '<name>' for reading|writing on unit <unit>: <reason>"
    static Xyz_error open_failure(std::string filename, int unit, int sys_errno);
    // "cannot read file '<name>' for reading on unit 101: <reason>", of the
    // kind cannot_open
    static Xyz_error read_failure(std::string filename, int sys_errno);
    // "file '<name>', line <line>, item <item> of <where>: <what> (unit 101)"
    static Xyz_error at_item(Error_kind kind, std::string filename, long line, int item,
                             std::string_view where, std::string_view what);
    // "file '<name>' on unit 101: <what>"
    static Xyz_error out_of_memory(std::string filename, std::string_view what);
    // "file '<name>' on unit 101: Attempting to allocate already allocated ..."
    static Xyz_error already_read(std::string filename);
    // "<action> file '<name>' for writing on unit 102: <reason>"
    static Xyz_error write_failure(std::string filename, int sys_errno, std::string_view action);
    // "cannot write file '<name>' on unit 102: <what>", before anything is written
    static Xyz_error record_refused(std::string filename, std::string_view what);

    Error_kind kind() const noexcept { return kind_; }
    const std::string& filename() const noexcept { return filename_; }
    int unit() const noexcept { return unit_; }
    // errno for cannot_open, write_failed and out_of_memory, 0 otherwise.
    int sys_errno() const noexcept { return sys_errno_; }
    // 1-based line of the offending text; 0 when no line applies.
    long line() const noexcept { return line_; }
    // 1-based item within its group; 0 when no item applies.
    int item() const noexcept { return item_; }

private:
    struct Where {
        int unit;
        int sys_errno = 0;
        long line = 0;
        int item = 0;
    };
    Xyz_error(Error_kind kind, std::string filename, Where where, const std::string& message);

    Error_kind kind_;
    std::string filename_;
    int unit_;
    int sys_errno_;
    long line_;
    int item_;
};

// Thrown by a caller's interrupt hook (see read_xyz) to abandon a read
// after a signal came; the caller knows why and says so itself.
class Read_interrupted : public std::exception {
public:
    const char* what() const noexcept override { return "read_xyz(): interrupted"; }
};

}  // namespace zorvak_crystal
