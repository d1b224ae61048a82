// What the reader makes of a text, as one string: the record's bytes, or the
// error's kind, line, item and message.  The differential fuzzer builds this
// file twice, against this tree's reader and against an earlier one, which
// is compiled into a namespace of its own.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "crystal/crystal.hpp"
#include "crystal/xyz_reader.hpp"

namespace zorvak_crystal {

// Through a window of `window` bytes fed `piece` bytes at a time, or (window
// 0) from memory at once.
std::string xyz_outcome(std::string_view text, std::size_t window, std::size_t piece)
{
    Crystal cryst;
    try {
        if (window == 0) {
            read_xyz_buffer(cryst, text, "fuzz.xyz");
        } else {
            std::string_view rest = text;
            Xyz_tokenizer tokens(
                [&](char* into, std::size_t room) {
                    const std::size_t n = std::min({room, piece, rest.size()});
                    std::memcpy(into, rest.data(), n);
                    rest.remove_prefix(n);
                    return n;
                },
                "fuzz.xyz", window);
            read_xyz_tokens(cryst, tokens, std::nullopt, "fuzz.xyz");
        }
    } catch (const Xyz_error& e) {
        return "error " + std::to_string(static_cast<int>(e.kind())) + " line " + std::to_string(e.line())
            + " item " + std::to_string(e.item()) + ": " + e.what();
    }
    std::string o = "natom " + std::to_string(cryst.natom) + ":";
    o.append(reinterpret_cast<const char*>(cryst.cell.data()), sizeof cryst.cell);
    o.append(reinterpret_cast<const char*>(cryst.name->data()), cryst.name->size() * sizeof(Symbol));
    o.append(reinterpret_cast<const char*>(cryst.xyz->data()), cryst.xyz->size() * sizeof(double));
    return o;
}

}  // namespace zorvak_crystal
