#include "c_binding/morvane_c_binding.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "c_binding/c_f_string_c_binding.hpp"
#include "crystal/crystal.hpp"

namespace morvane_c_binding {

void read_xyz_by_name(const char* xyz_file_in_c, const zorvak_crystal::Interrupt_hook& on_interrupt)
{
    const std::size_t length = xyz_file_in_c ? std::strlen(xyz_file_in_c) : 0;
    std::string xyz_file_in(std::max(length, min_name_length), ' ');
    c_f_string_c_binding::c_f_string_ptr(xyz_file_in_c, xyz_file_in.data(), xyz_file_in.size());

    // The record releases its arrays when it goes out of scope, on every path.
    zorvak_crystal::Crystal cryst;
    zorvak_crystal::read_xyz(cryst, xyz_file_in, on_interrupt);
}

}  // namespace morvane_c_binding

namespace {

[[noreturn]] void stop(const char* diagnostic, int status)
{
    std::fprintf(stderr, "%s\n", diagnostic);
    std::exit(status);
}

}  // namespace

extern "C" void c_read_xyz(const char* xyz_file_in_c)
{
    // A C caller has no way to receive an exception: every failure ends here.
    // Waits cut short by a signal simply go on.
    try {
        morvane_c_binding::read_xyz_by_name(xyz_file_in_c);
    } catch (const zorvak_crystal::Xyz_error& e) {
        stop(e.what(), e.kind() == zorvak_crystal::Error_kind::out_of_memory ? 1 : 2);
    } catch (const std::bad_alloc&) {
        stop("c_read_xyz(): out of memory", 1);
    } catch (const std::exception& e) {
        stop(e.what(), 2);
    } catch (...) {
        stop("c_read_xyz(): unknown failure", 2);
    }
}
