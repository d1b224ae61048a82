// The text of a file or pipe seen through a window of fixed size, refilled
// as its content is used, so memory stays that of the window whatever the
// text.  Whoever reads through it says at each refill from which offset on
// the content is still needed; what comes before is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "crystal/uninitialised_allocator.hpp"

namespace zorvak_crystal {

class Text_window {
public:
    // Puts up to `room` bytes of the text at `into` and returns how many;
    // 0 only once the text has ended.  May throw to abandon the reading.
    using Source = std::function<std::size_t(char* into, std::size_t room)>;

    // Large enough that a refill is rare next to the values it brings.
    static constexpr std::size_t default_size = std::size_t(1) << 20;
    // Zero bytes that always follow the text held, beyond the window's
    // size: a scan that takes eight bytes at a time may read them, and
    // stops at the first (a zero is neither a blank nor a digit).
    static constexpr std::size_t padding = 64;

    // A window of `size` bytes (at least 1) over the text from `source`,
    // empty until the first refill; `filename` only names the text in errors.
    Text_window(Source source, std::string_view filename, std::size_t size = default_size);
    // Text already in memory, which must outlive the window, through a
    // window of at most `size` bytes (a whole short text at once).
    Text_window(std::string_view text, std::string_view filename, std::size_t size = default_size);

    char* data() { return buffer_.data(); }
    const char* data() const { return buffer_.data(); }
    // Bytes of text held, from data() on; `padding` zero bytes follow.
    std::size_t end() const { return end_; }
    // The text ends at end(): no refill brings more.
    bool last_block() const { return last_block_; }
    // No room is left after end().
    bool full() const { return end_ == size(); }
    // Bytes dropped from the window's front so far.
    std::uint64_t passed() const { return passed_; }

    // Drops the bytes before offset `keep_from` and reads more text after
    // the rest, which moves to the front: offsets into the window go down by
    // keep_from, and pointers into it are no longer valid.  A full window
    // with nothing to drop doubles instead (the error, should the memory not
    // be had, names `line` as the one it would hold).  False once the text
    // has ended; after the last block a refill changes nothing.
    bool refill(std::size_t keep_from, long line);

private:
    std::size_t size() const { return buffer_.size() - padding; }
    // Puts the zero bytes after the text.
    void pad();

    Source source_;
    std::string_view filename_;
    std::vector<char, Uninitialised_allocator<char>> buffer_;
    std::size_t end_ = 0;
    bool last_block_ = false;
    std::uint64_t passed_ = 0;
};

}  // namespace zorvak_crystal
