// Feeds arbitrary bytes to the XYZ reader.  Any input must end in a
// successful read whose arrays match the count, or in an Xyz_error; and
// reading it through a small window, in short pieces as from a pipe, must
// give exactly the same record or error as reading it at once.
//
// The input is the file.  Its first byte also chooses the window (1 to 64
// bytes) and its last byte the longest piece one read hands over (1 to 256
// bytes), so that the seeds stay plain XYZ files.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "crystal/crystal.hpp"
#include "crystal/xyz_reader.hpp"

namespace {

using namespace zorvak_crystal;

// The record's bytes, or the error's kind, place and message.
std::string outcome(const Crystal& cryst, const Xyz_error* error)
{
    if (error != nullptr) {
        return std::to_string(static_cast<int>(error->kind())) + " " + std::to_string(error->line()) + " "
            + std::to_string(error->item()) + " " + error->what();
    }
    std::string o = std::to_string(cryst.natom);
    o.append(reinterpret_cast<const char*>(cryst.cell.data()), sizeof cryst.cell);
    o.append(reinterpret_cast<const char*>(cryst.name->data()), cryst.name->size() * sizeof(Symbol));
    o.append(reinterpret_cast<const char*>(cryst.xyz->data()), cryst.xyz->size() * sizeof(double));
    return o;
}

template <class Read>
std::string read_outcome(Read read)
{
    Crystal cryst;
    try {
        read(cryst);
    } catch (const Xyz_error& e) {
        // A failed read leaves the record untouched.
        if (cryst.xyz || cryst.name) std::abort();
        if (e.kind() == Error_kind::already_read || e.unit() != read_unit) std::abort();
        return outcome(cryst, &e);
    }
    const std::size_t n = cryst.natom > 0 ? static_cast<std::size_t>(cryst.natom) : 0;
    if (!cryst.xyz || !cryst.name || cryst.xyz->size() != 3 * n || cryst.name->size() != n) std::abort();
    return outcome(cryst, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t window = size > 0 ? data[0] % 64 + 1 : 1;
    const std::size_t piece = size > 0 ? data[size - 1] + std::size_t(1) : 1;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    Crystal whole;
    const std::string at_once = read_outcome([&](Crystal& c) { read_xyz_buffer(c, text, "fuzz.xyz"); });
    const std::string in_pieces = read_outcome([&](Crystal& c) {
        std::string_view rest = text;
        Xyz_tokenizer tokens(
            [&](char* into, std::size_t room) {
                const std::size_t n = std::min({room, piece, rest.size()});
                std::memcpy(into, rest.data(), n);
                rest.remove_prefix(n);
                return n;
            },
            "fuzz.xyz", window);
        read_xyz_tokens(c, tokens, std::nullopt, "fuzz.xyz");
    });
    if (at_once != in_pieces) std::abort();

    // A second read into a filled record must be refused, record unchanged.
    try {
        read_xyz_buffer(whole, text, "fuzz.xyz");
    } catch (const Xyz_error&) {
        return 0;
    }
    const auto before = *whole.xyz;
    try {
        read_xyz_buffer(whole, text, "fuzz.xyz");
        std::abort();
    } catch (const Xyz_error& e) {
        if (e.kind() != Error_kind::already_read) std::abort();
    }
    if (*whole.xyz != before) std::abort();
    return 0;
}
