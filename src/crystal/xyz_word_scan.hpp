// The bytes of values judged many at a time rather than one by one: runs
// of blanks eight at a time with plain 64-bit arithmetic, and the digits
// among the 32 bytes a number may take, and the separators and digits of
// a line's first 64 bytes, with SSE2 (part of x86-64 itself, so no
// instruction set is chosen at run time; other processors get the same
// masks from 64-bit words).
//
// These read ahead of the byte they start at, by less than 64 bytes, so
// the text must be followed by 64 zero bytes: the window's padding.  A zero is neither a
// blank, nor a digit, nor any byte of a number, so every run stops at the
// text's end without a bound being tested.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef __x86_64__
#include <emmintrin.h>
#endif

namespace zorvak_crystal {

namespace word_scan {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a word's first byte is taken as its lowest");

constexpr std::uint64_t ones = 0x0101010101010101;
constexpr std::uint64_t high_bits = 0x8080808080808080;
constexpr std::uint64_t low_bits = 0x7f7f7f7f7f7f7f7f;

inline std::uint64_t load(const char* p)
{
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The high bit of each byte of `word` that equals `c`.  Each byte's sum
// stays below 0x100, so no carry reaches the next byte.
constexpr std::uint64_t bytes_equal(std::uint64_t word, unsigned char c)
{
    const std::uint64_t x = word ^ (ones * c);
    return ~(((x & low_bits) + low_bits) | x) & high_bits;
}

// The high bit of each byte of `word` that is a decimal digit.
constexpr std::uint64_t digit_bytes(std::uint64_t word)
{
    const std::uint64_t low = word & low_bits;
    const std::uint64_t from_zero = low + ones * (0x80 - '0');     // high bit set from '0' on
    const std::uint64_t past_nine = low + ones * (0x80 - '9' - 1);  // and from the byte after '9'
    return from_zero & ~past_nine & ~word & high_bits;
}

// Bytes before the first flagged one (a high bit set); 8 when none is.
inline unsigned before_first(std::uint64_t flags)
{
    return flags == 0 ? 8 : static_cast<unsigned>(__builtin_ctzll(flags)) / 8;
}

constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }
// The bytes of a number that are not digits, for both of its parsers.
constexpr bool is_sign(char c) { return c == '+' || c == '-'; }
constexpr bool is_exponent_letter(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }

// 10^0 to 10^19, all that a 64-bit number holds.
constexpr auto powers_of_ten = [] {
    std::array<std::uint64_t, 20> t{};
    t[0] = 1;
    for (std::size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
    return t;
}();

// The number that eight digit values (0 to 9, one a byte) write, the first
// byte the most significant: pairs, then fours, then all eight.
inline std::uint64_t eight_digits(std::uint64_t v)
{
    v = v * 10 + (v >> 8);
    return (((v & 0x000000ff000000ff) * (100 + (1000000ULL << 32)))
            + (((v >> 16) & 0x000000ff000000ff) * (1 + (10000ULL << 32))))
        >> 32;
}

}  // namespace word_scan

// Past the blanks and tabs at p.  Most separators are one blank, which is
// judged alone.
inline const char* skip_blanks(const char* p)
{
    using namespace word_scan;
    if (!is_blank(*p)) return p;
    if (!is_blank(*++p)) return p;
    for (;;) {
        const std::uint64_t word = load(p);
        const unsigned n = before_first(~(bytes_equal(word, ' ') | bytes_equal(word, '\t')) & high_bits);
        p += n;
        if (n < 8) return p;
    }
}

namespace word_scan {

// Eight flags (a high bit each) gathered into the low eight bits, the first
// byte's lowest: each lands on its own bit of the top byte, and no two
// partial products meet there.
constexpr unsigned gather(std::uint64_t flags) { return static_cast<unsigned>(((flags >> 7) * 0x0102040810204080) >> 56); }

// With plain 64-bit arithmetic: the reference, and the build for other
// processors than x86-64.
inline std::uint32_t digit_mask_by_words(const char* p)
{
    std::uint32_t digits = 0;
    for (unsigned i = 0; i < 32; i += 8) digits |= gather(digit_bytes(load(p + i))) << i;
    return digits;
}

// One comparison for sixteen bytes.  SSE2 is part of x86-64 itself, so
// every processor the build runs on has it.
#ifdef __x86_64__
// A digit is a byte whose distance from '0', taken as unsigned, is below
// 10: moved by 0x80 that is a signed comparison.
inline std::uint32_t sixteen_digit_bytes(const char* p)
{
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmplt_epi8(
        _mm_sub_epi8(x, _mm_set1_epi8(static_cast<char>('0' + 0x80))), _mm_set1_epi8(static_cast<char>(10 - 0x80)))));
}

inline std::uint32_t digit_mask_by_vectors(const char* p)
{
    return sixteen_digit_bytes(p) | sixteen_digit_bytes(p + 16) << 16;
}
#endif

// What the 64 bytes from p are, one bit a byte (bit i for p[i]): where a
// line's values start and end, and their digits, found at once rather than
// each from the end of the value before it.
struct Line_bytes {
    std::uint64_t separators = 0;  // blanks (spaces, tabs) and line ends
    std::uint64_t line_ends = 0;
    std::uint64_t digits = 0;
};

inline Line_bytes line_bytes_by_words(const char* p)
{
    Line_bytes bytes;
    for (unsigned i = 0; i < 64; i += 8) {
        const std::uint64_t word = load(p + i);
        const std::uint64_t line_ends = bytes_equal(word, '\n');
        bytes.separators |= std::uint64_t(gather(bytes_equal(word, ' ') | bytes_equal(word, '\t') | line_ends)) << i;
        bytes.line_ends |= std::uint64_t(gather(line_ends)) << i;
        bytes.digits |= std::uint64_t(gather(digit_bytes(word))) << i;
    }
    return bytes;
}

#ifdef __x86_64__
inline Line_bytes line_bytes_by_vectors(const char* p)
{
    const auto flags = [](__m128i bytes) { return std::uint64_t(static_cast<std::uint32_t>(_mm_movemask_epi8(bytes))); };
    Line_bytes bytes;
    for (unsigned i = 0; i < 64; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i line_ends = _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'));
        const __m128i blanks = _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\t')));
        bytes.separators |= flags(_mm_or_si128(blanks, line_ends)) << i;
        bytes.line_ends |= flags(line_ends) << i;
        bytes.digits |= std::uint64_t(sixteen_digit_bytes(p + i)) << i;
    }
    return bytes;
}
#endif

// The number that n digits (0 to 8) at p write: they become the last of
// eight behind zeros.  A byte below '0' after them borrows only from the
// bytes after it, which are shifted out.
inline std::uint64_t digits_value_of(std::uint64_t word, unsigned n)
{
    const std::uint64_t v = (word - ones * '0') << ((64 - 8 * n) & 63);
    return n == 0 ? 0 : eight_digits(v);
}

inline std::uint64_t digits_value(const char* p, unsigned n) { return digits_value_of(load(p), n); }

#ifdef __x86_64__
// Sixteen bytes of ones, then sixteen zeros: the sixteen from 16 - n on
// keep the first n lanes of a vector.
alignas(32) constexpr unsigned char first_lanes[32] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                                       0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

// The number that the n digits at p (n up to 16) write, followed by 16 - n
// zeros: the bytes past them are taken as '0'.  Pairs of digits, then
// fours, then eights are joined in the vector's lanes.
inline std::uint64_t sixteen_digits_value(const char* p, unsigned n)
{
    const __m128i taken = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first_lanes + 16 - n));
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i digits = _mm_and_si128(_mm_sub_epi8(bytes, _mm_set1_epi8('0')), taken);
    // A 16-bit lane holds two digits, the first (d) in its low byte and e
    // above it: times 0x0a01 its high byte becomes 10d + e, which is below
    // 0x100, so nothing carries out of it.
    const __m128i pairs = _mm_srli_epi16(_mm_mullo_epi16(digits, _mm_set1_epi16(0x0a01)), 8);
    const __m128i fours = _mm_madd_epi16(pairs, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
    const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours),
                                          _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
    const auto both = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights));
    return (both & 0xffffffff) * powers_of_ten[8] + (both >> 32);
}
#endif

}  // namespace word_scan

// Which of the 32 bytes from p are decimal digits, one bit a byte (bit i
// for p[i]).  A number's parts are then found from this mask with a fixed
// run of steps, whatever its form, rather than byte by byte: the few bytes
// that are not digits (sign, point, exponent letter) stand where the runs
// of digits end, and are looked at there.
inline std::uint32_t digit_mask(const char* p)
{
#ifdef __x86_64__
    return word_scan::digit_mask_by_vectors(p);
#else
    return word_scan::digit_mask_by_words(p);
#endif
}

inline word_scan::Line_bytes line_bytes(const char* p)
{
#ifdef __x86_64__
    return word_scan::line_bytes_by_vectors(p);
#else
    return word_scan::line_bytes_by_words(p);
#endif
}

// The number that n decimal digits at p write (n up to 19).
inline std::uint64_t digits_value(const char* p, unsigned n)
{
    using namespace word_scan;
    std::uint64_t value = 0;
    for (; n > 8; n -= 8, p += 8) value = value * powers_of_ten[8] + eight_digits(load(p) - ones * '0');
    return value * powers_of_ten[n] + word_scan::digits_value(p, n);
}

// The number that n decimal digits at p (n up to 16) write as sixteen
// places: followed by 16 - n zeros.
inline std::uint64_t sixteen_places_value(const char* p, unsigned n)
{
#ifdef __x86_64__
    return word_scan::sixteen_digits_value(p, n);
#else
    return digits_value(p, n) * word_scan::powers_of_ten[16 - n];
#endif
}

}  // namespace zorvak_crystal
