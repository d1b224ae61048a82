#include "crystal/xyz_window.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using zorvak_crystal::Text_window;

const std::string text = "0123456789abcdefghijklmnopqrstuvwxyz!";

// Hands out `text` at most `piece` bytes at a time, as a pipe may, and
// notes a call after it said the text had ended.
struct Pieces {
    std::string text;
    std::size_t piece;
    std::size_t given = 0;
    bool asked_after_end = false;
    bool ended = false;

    std::size_t operator()(char* into, std::size_t room)
    {
        asked_after_end |= ended;
        const std::size_t size = std::min({room, piece, text.size() - given});
        std::memcpy(into, text.data() + given, size);
        given += size;
        ended = size == 0;
        return size;
    }
};

// The text as the window shows it, all of what it holds dropped at each
// refill.
std::string read_all(Text_window& window)
{
    std::string seen;
    while (window.refill(window.end(), 1)) seen.append(window.data(), window.end());
    return seen;
}

TEST(TextWindow, EverySizeShowsTheWholeTextOnce)
{
    for (std::size_t size = 1; size <= text.size() + 2; ++size) {
        for (const std::size_t piece : {std::size_t(1), std::size_t(3), text.size()}) {
            Pieces pieces{text, piece};
            Text_window window(std::ref(pieces), "t.xyz", size);
            EXPECT_EQ(read_all(window), text) << "size " << size << ", pieces of " << piece;
            EXPECT_EQ(window.passed(), text.size());
            EXPECT_TRUE(window.last_block());
            EXPECT_FALSE(pieces.asked_after_end) << "size " << size << ", pieces of " << piece;
        }
        Text_window in_memory(text, "t.xyz", size);
        EXPECT_EQ(read_all(in_memory), text) << "size " << size << ", text in memory";
    }
}

struct Refill_step {
    std::size_t keep_from;
    bool more;            // what the refill returns
    std::string held;     // then the window's content
    std::uint64_t passed;
};

TEST(TextWindow, KeepsWhatFollowsTheOffsetAndGrowsWhenNothingCanGo)
{
    Pieces pieces{"0123456789abcdef", 100};
    Text_window window(std::ref(pieces), "t.xyz", 8);
    const std::vector<Refill_step> steps = {
        {0, true, "01234567", 0},
        {5, true, "56789abc", 5},
        {0, true, "56789abcdef", 5},  // full, nothing to drop: it doubles
        {0, false, "56789abcdef", 5},  // room left, and the text has ended
        {4, false, "56789abcdef", 5},  // after the last block nothing changes
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Refill_step& step = steps[i];
        EXPECT_EQ(window.refill(step.keep_from, 1), step.more) << "step " << i;
        EXPECT_EQ(std::string(window.data(), window.end()), step.held) << "step " << i;
        EXPECT_EQ(window.passed(), step.passed) << "step " << i;
    }
    EXPECT_FALSE(pieces.asked_after_end);
}

TEST(TextWindow, LastBlockIsKnownOnlyOnceTheSourceSaysSo)
{
    // A text that fills the window exactly may go on: only the source's
    // answer of 0 ends it, and what the window holds then stays.
    Pieces pieces{"abcd", 100};
    Text_window window(std::ref(pieces), "t.xyz", 4);
    EXPECT_TRUE(window.refill(0, 1));
    EXPECT_TRUE(window.full());
    EXPECT_FALSE(window.last_block());
    EXPECT_FALSE(window.refill(2, 1));
    EXPECT_TRUE(window.last_block());
    EXPECT_EQ(std::string(window.data(), window.end()), "cd");
    EXPECT_EQ(window.passed(), 2u);
}

}  // namespace
