// Feeds arbitrary bytes to this tree's XYZ reader and to an earlier one
// (built from the commit named at configure time): both must give the same
// record, or the same error with the same message, read at once and read
// through a small window in short pieces.
//
// The input is the file.  Its first byte also chooses the small window (1
// to 64 bytes) and its last byte the longest piece (1 to 256 bytes), as in
// fuzz_xyz_reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace zorvak_crystal {
std::string xyz_outcome(std::string_view text, std::size_t window, std::size_t piece);
}
namespace zorvak_crystal_earlier {
std::string xyz_outcome(std::string_view text, std::size_t window, std::size_t piece);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t window = size > 0 ? data[0] % 64 + 1 : 1;
    const std::size_t piece = size > 0 ? data[size - 1] + std::size_t(1) : 1;
    for (const std::size_t w : {std::size_t(0), window}) {
        const std::string now = zorvak_crystal::xyz_outcome(text, w, piece);
        const std::string before = zorvak_crystal_earlier::xyz_outcome(text, w, piece);
        if (now != before) {
            std::fprintf(stderr, "window %zu: outcomes differ\n  now:    %s\n  before: %s\n", w, now.c_str(),
                         before.c_str());
            std::abort();
        }
    }
    return 0;
}
