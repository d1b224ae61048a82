#include "crystal/xyz_window.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "crystal/xyz_error.hpp"

namespace zorvak_crystal {

Text_window::Text_window(Source source, std::string_view filename, std::size_t size)
    : source_(std::move(source)), filename_(filename)
{
    try {
        buffer_.resize(std::max<std::size_t>(size, 1) + padding);
    } catch (const std::bad_alloc&) {
        throw Xyz_error::out_of_memory(std::string(filename_), "not enough memory to read the file");
    }
    pad();
}

void Text_window::pad()
{
    std::memset(data() + end_, 0, padding);
}

Text_window::Text_window(std::string_view text, std::string_view filename, std::size_t size)
    : Text_window(
          [text](char* into, std::size_t room) mutable {
              const std::size_t given = std::min(room, text.size());
              if (given > 0) std::memcpy(into, text.data(), given);
              text.remove_prefix(given);
              return given;
          },
          filename, std::min(size, text.size() + 1))
{
}

bool Text_window::refill(std::size_t keep_from, long line)
{
    if (last_block_) return false;
    if (keep_from == 0 && full()) {
        try {
            buffer_.resize(2 * size() + padding);
        } catch (const std::bad_alloc&) {
            throw Xyz_error::out_of_memory(std::string(filename_), "not enough memory to hold line "
                                                                      + std::to_string(line));
        }
    } else if (keep_from > 0) {
        std::memmove(data(), data() + keep_from, end_ - keep_from);
    }
    passed_ += keep_from;
    end_ -= keep_from;

    const std::size_t got = source_(data() + end_, size() - end_);
    if (got == 0) {
        last_block_ = true;
        pad();
        return false;
    }
    end_ += got;
    pad();
    return true;
}

}  // namespace zorvak_crystal
