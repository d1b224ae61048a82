#include "crystal/message_text.hpp"

#include <system_error>

namespace zorvak_crystal {

std::string shown(std::string_view text, std::size_t limit)
{
    bool cut = false;
    if (text.size() > limit) {
        std::size_t end = limit;
        // Do not split a UTF-8 sequence: back up over continuation bytes.
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        text = text.substr(0, end);
        cut = true;
    }
    static constexpr char hex[] = "0123456789abcdef";
    std::string out = "'";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xf];
        } else {
            out += ch;
        }
    }
    out += cut ? "...'" : "'";
    return out;
}

std::string system_reason(int err)
{
    return std::generic_category().message(err);
}

}  // namespace zorvak_crystal
