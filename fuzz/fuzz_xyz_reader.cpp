// Feeds arbitrary bytes to the XYZ reader.  Any input must end in a
// successful read whose arrays match the count, or in an Xyz_error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "crystal/crystal.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zorvak_crystal;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Crystal cryst;
    try {
        read_xyz_buffer(cryst, text, "fuzz.xyz");
    } catch (const Xyz_error& e) {
        // A failed read leaves the record untouched.
        if (cryst.xyz || cryst.name) std::abort();
        if (e.kind() == Error_kind::already_read || e.unit() != read_unit) std::abort();
        return 0;
    }
    const std::size_t n = cryst.natom > 0 ? static_cast<std::size_t>(cryst.natom) : 0;
    if (!cryst.xyz || !cryst.name || cryst.xyz->size() != 3 * n || cryst.name->size() != n) std::abort();

    // A second read into the filled record must be refused, record unchanged.
    const auto before = *cryst.xyz;
    try {
        read_xyz_buffer(cryst, text, "fuzz.xyz");
        std::abort();
    } catch (const Xyz_error& e) {
        if (e.kind() != Error_kind::already_read) std::abort();
    }
    if (*cryst.xyz != before) std::abort();
    return 0;
}
