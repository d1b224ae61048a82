#include "crystal/xyz_word_scan.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crystal/xyz_window.hpp"

namespace {

using namespace zorvak_crystal;
using zorvak_crystal::word_scan::gather;

// Room for a text at every alignment of a word, then the window's padding.
struct Buffer {
    std::string bytes;
    const char* start;

    Buffer(const std::string& text, std::size_t alignment)
        : bytes(std::string(alignment, 'a') + text + std::string(Text_window::padding, '\0')),
          start(bytes.data() + alignment)
    {
    }
};

bool blank(int c) { return c == ' ' || c == '\t'; }

TEST(SkipBlanks, StopsAtTheFirstOtherByteOfAnyValueAtAnyAlignment)
{
    // Runs of every length up to past two words, of blanks and tabs mixed,
    // then every byte value; the text may also end right after the run.
    for (std::size_t run = 0; run <= 20; ++run) {
        std::string blanks;
        for (std::size_t i = 0; i < run; ++i) blanks += i % 3 == 1 ? '\t' : ' ';
        for (std::size_t alignment = 0; alignment < 8; ++alignment) {
            for (int c = 0; c < 256; ++c) {
                const Buffer b(blanks + static_cast<char>(c) + "x", alignment);
                const std::size_t want = blank(c) ? run + 1 : run;
                EXPECT_EQ(skip_blanks(b.start) - b.start, static_cast<std::ptrdiff_t>(want))
                    << "run " << run << ", alignment " << alignment << ", then byte " << c;
            }
            const Buffer at_end(blanks, alignment);
            EXPECT_EQ(skip_blanks(at_end.start) - at_end.start, static_cast<std::ptrdiff_t>(run))
                << "run " << run << " up to the text's end, alignment " << alignment;
        }
    }
}

TEST(Gather, EachFlaggedByteGivesItsOwnBit)
{
    for (unsigned pattern = 0; pattern < 256; ++pattern) {
        std::uint64_t flags = 0;
        for (unsigned i = 0; i < 8; ++i)
            if (pattern & (1u << i)) flags |= std::uint64_t(0x80) << (8 * i);
        EXPECT_EQ(gather(flags), pattern);
    }
}

// Every build's mask must flag exactly the digits among the 32 bytes.
void expect_masks(const char* p, const std::string& what)
{
    std::uint32_t want = 0;
    for (unsigned i = 0; i < 32; ++i)
        if (p[i] >= '0' && p[i] <= '9') want |= std::uint32_t(1) << i;
    std::vector<std::pair<const char*, std::uint32_t>> builds = {{"words", word_scan::digit_mask_by_words(p)},
                                                                 {"chosen", digit_mask(p)}};
#ifdef __x86_64__
    builds.emplace_back("vectors", word_scan::digit_mask_by_vectors(p));
#endif
    for (const auto& [build, got] : builds) EXPECT_EQ(got, want) << build << ": " << what;
}

TEST(DigitMask, EveryByteValueAtEveryPlaceAndAlignment)
{
    // A number's usual bytes around the one that varies, whose neighbours
    // would show a carry or borrow leaking across bytes.
    const std::string base = "-1.5e+3 9.75D-08, 0x 42E1 +.\t/\r\n";
    ASSERT_EQ(base.size(), 32u);
    for (std::size_t alignment = 0; alignment < 16; alignment += 5) {
        for (unsigned i = 0; i < 32; ++i) {
            for (int c = 0; c < 256; ++c) {
                std::string text = base;
                text[i] = static_cast<char>(c);
                const Buffer b(text, alignment);
                expect_masks(b.start, "byte " + std::to_string(c) + " at " + std::to_string(i));
            }
        }
    }
}

// Every build's masks of a line must flag exactly its separators, line
// ends and digits among the 64 bytes.
void expect_line_bytes(const char* p, const std::string& what)
{
    word_scan::Line_bytes want;
    for (unsigned i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t(1) << i;
        if (blank(p[i]) || p[i] == '\n') want.separators |= bit;
        if (p[i] == '\n') want.line_ends |= bit;
        if (p[i] >= '0' && p[i] <= '9') want.digits |= bit;
    }
    std::vector<std::pair<const char*, word_scan::Line_bytes>> builds = {
        {"words", word_scan::line_bytes_by_words(p)}, {"chosen", line_bytes(p)}};
#ifdef __x86_64__
    builds.emplace_back("vectors", word_scan::line_bytes_by_vectors(p));
#endif
    for (const auto& [build, got] : builds) {
        EXPECT_EQ(got.separators, want.separators) << build << ": " << what;
        EXPECT_EQ(got.line_ends, want.line_ends) << build << ": " << what;
        EXPECT_EQ(got.digits, want.digits) << build << ": " << what;
    }
}

TEST(LineBytes, EveryByteValueAtEveryPlace)
{
    const std::string base = "8 -1.5e+3\t9.75D-08, 0x 42E1 +.\t/\r\n79 12.345678901234567 -0.5e1\n\n";
    ASSERT_EQ(base.size(), 64u);
    for (unsigned i = 0; i < 64; ++i) {
        for (int c = 0; c < 256; ++c) {
            std::string text = base;
            text[i] = static_cast<char>(c);
            const Buffer b(text, i % 8);
            expect_line_bytes(b.start, "byte " + std::to_string(c) + " at " + std::to_string(i));
        }
    }
}

TEST(DigitMask, RandomBytesAndTheTextsEnd)
{
    std::mt19937 random(7);
    for (int n = 0; n < 2000; ++n) {
        std::string text(32, ' ');
        for (char& c : text) c = static_cast<char>(random());
        const Buffer b(text, n % 8);
        expect_masks(b.start, "random bytes, case " + std::to_string(n));
    }
    // Near the end the padding's zeros count as nothing.
    for (std::size_t length = 0; length <= 32; ++length) {
        const Buffer b(std::string(length, '7'), 3);
        expect_masks(b.start, std::to_string(length) + " digits, then the text's end");
    }
}

TEST(DigitsValue, AnyCountFollowedByAnyByte)
{
    // Up to 19 digits; the byte after them, whatever it is (below '0' too,
    // which borrows in the subtraction), must not change the value.
    std::mt19937_64 random(11);
    for (unsigned n = 0; n <= 19; ++n) {
        for (int after = 0; after < 256; ++after) {
            std::string digits;
            std::uint64_t want = 0;
            for (unsigned i = 0; i < n; ++i) {
                const char d = static_cast<char>('0' + random() % 10);
                digits += d;
                want = want * 10 + static_cast<unsigned>(d - '0');
            }
            const Buffer b(digits + static_cast<char>(after) + "5678", n % 8);
            EXPECT_EQ(digits_value(b.start, n), want) << digits << " then byte " << after;
        }
    }
}

#ifdef __x86_64__
TEST(SixteenDigitsValue, AnyCountThenAnyByteReadsAsSixteenPlaces)
{
    std::mt19937_64 random(13);
    for (unsigned n = 0; n <= 16; ++n) {
        for (int after = 0; after < 256; ++after) {
            std::string digits;
            std::uint64_t want = 0;
            for (unsigned i = 0; i < 16; ++i) {
                const unsigned d = i < n ? static_cast<unsigned>(random() % 10) : 0;
                if (i < n) digits += static_cast<char>('0' + d);
                want = want * 10 + d;
            }
            const Buffer b(digits + static_cast<char>(after) + "123456789012345", n % 8);
            EXPECT_EQ(word_scan::sixteen_digits_value(b.start, n), want) << digits << " then byte " << after;
        }
    }
}
#endif

}  // namespace
