#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "crystal/crystal.hpp"
#include "crystal/padded_name.hpp"

namespace zorvak_crystal {

namespace {

constexpr int real_width = 25;

// Writes `text` right-justified in `width` columns at out.
char* right_justified(char* out, int width, std::string_view text)
{
    const std::size_t pad = static_cast<std::size_t>(width) - text.size();
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, text.data(), text.size());
    return out + width;
}

// A real item in 25 columns with 17 significant digits.  The rounding to 17
// digits decides the form: fixed for zero and for magnitudes in [0.1, 1e17),
// right-justified in 20 columns and followed by 5 blanks; scientific
// (d.ddddddddddddddddE+ddd) right-justified in 25 otherwise.
char* put_real(char* out, double v)
{
    if (std::isnan(v)) return right_justified(out, real_width, "NaN");
    if (std::isinf(v)) return right_justified(out, real_width, v < 0 ? "-Infinity" : "Infinity");

    // Correctly rounded digits: d.dddddddddddddddde[+-]dd[d]
    char sci[32];
    const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific, 16);
    const char* exp_text = sci + 19;
    int exponent = 0;
    std::from_chars(exp_text + 1, res.ptr, exponent);
    if (*exp_text == '-') exponent = -exponent;
    char digits[17];
    digits[0] = sci[0];
    std::memcpy(digits + 1, sci + 2, 16);

    char text[32];
    std::size_t len = 0;
    if (std::signbit(v)) text[len++] = '-';
    if (v == 0.0 || (exponent >= -1 && exponent <= 16)) {
        if (exponent == -1) {
            text[len++] = '0';
            text[len++] = '.';
            std::memcpy(text + len, digits, 17);
            len += 17;
        } else {
            const std::size_t before = static_cast<std::size_t>(exponent) + 1;
            std::memcpy(text + len, digits, before);
            len += before;
            text[len++] = '.';
            std::memcpy(text + len, digits + before, 17 - before);
            len += 17 - before;
        }
        out = right_justified(out, 20, std::string_view(text, len));
        std::memset(out, ' ', 5);
        return out + 5;
    }
    text[len++] = digits[0];
    text[len++] = '.';
    std::memcpy(text + len, digits + 1, 16);
    len += 16;
    text[len++] = 'E';
    text[len++] = exponent < 0 ? '-' : '+';
    const int e = std::abs(exponent);
    text[len++] = static_cast<char>('0' + e / 100);
    text[len++] = static_cast<char>('0' + e / 10 % 10);
    text[len++] = static_cast<char>('0' + e % 10);
    return right_justified(out, real_width, std::string_view(text, len));
}

// An integer item, right-justified in 11 columns.
char* put_integer(char* out, std::int32_t v)
{
    char text[12];
    const auto res = std::to_chars(text, text + sizeof text, v);
    return right_justified(out, 11, std::string_view(text, static_cast<std::size_t>(res.ptr - text)));
}

char* put_text(char* out, std::string_view text)
{
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The output file on unit 102, written through a buffer.  Every write and
// the close are checked; a failure is thrown, never passed over.
class Output_file {
public:
    explicit Output_file(std::string name) : name_(std::move(name))
    {
        if (name_.find('\0') != std::string::npos) throw Xyz_error::open_failure(name_, write_unit, EINVAL);
        do fd_ = ::open(name_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) throw Xyz_error::open_failure(name_, write_unit, errno);
        buffer_.resize(buffer_size);
    }
    Output_file(const Output_file&) = delete;
    Output_file& operator=(const Output_file&) = delete;
    ~Output_file()
    {
        if (fd_ >= 0) ::close(fd_);
    }

    // Room for one line of at most `size` bytes at the returned pointer;
    // end_line(end) then keeps exactly the bytes written before `end`, so
    // nothing unwritten can reach the file.
    char* line(std::size_t size)
    {
        if (buffer_.size() - used_ < size) flush();
        if (buffer_.size() < size) buffer_.resize(size);
        room_end_ = used_ + size;
        return buffer_.data() + used_;
    }

    void end_line(const char* end)
    {
        const auto at = static_cast<std::size_t>(end - buffer_.data());
        if (at < used_ || at > room_end_) throw std::logic_error("write_xyz(): a line overran its room");
        used_ = at;
    }

    void flush()
    {
        const char* p = buffer_.data();
        std::size_t left = used_;
        while (left > 0) {
            const ssize_t put = ::write(fd_, p, left);
            if (put < 0) {
                if (errno == EINTR) continue;
                throw Xyz_error::write_failure(name_, errno, "cannot write");
            }
            p += put;
            left -= static_cast<std::size_t>(put);
        }
        used_ = 0;
    }

    void close()
    {
        flush();
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) throw Xyz_error::write_failure(name_, errno, "cannot close");
    }

private:
    static constexpr std::size_t buffer_size = 1 << 16;

    std::string name_;
    int fd_ = -1;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::size_t room_end_ = 0;
};

constexpr std::size_t count_line_size = 12 + 1;
constexpr std::size_t cell_line_size = 261 + 1;
constexpr std::size_t atom_line_size = 81 + 1;

}  // namespace

void write_xyz(const Crystal& cryst, std::string_view filename)
{
    const std::string name(trim_trailing_blanks(filename));
    const std::size_t n = cryst.natom > 0 ? static_cast<std::size_t>(cryst.natom) : 0;
    const std::size_t names = cryst.name ? cryst.name->size() : 0;
    if (n > names || n > cryst.xyz_atoms()) {
        // Checked before opening, so an existing file is left untouched.
        throw Xyz_error::record_refused(name, "natom is " + std::to_string(n) + " but the record holds "
                                                  + std::to_string(names) + " names and "
                                                  + std::to_string(cryst.xyz_atoms()) + " coordinate rows");
    }

    Output_file file(name);

    char* p = file.line(count_line_size);
    p = put_text(p, " ");
    p = put_integer(p, cryst.natom);
    *p++ = '\n';
    file.end_line(p);

    p = file.line(cell_line_size);
    p = put_text(p, " cell:  ");
    for (int r = 1; r <= 3; ++r) {
        if (r > 1) p = put_text(p, "  |  ");
        for (int c = 1; c <= 3; ++c) {
            if (c > 1) p = put_text(p, "   ");
            p = put_real(p, cryst.cell_at(r, c));
        }
    }
    *p++ = '\n';
    file.end_line(p);

    for (std::size_t i = 1; i <= n; ++i) {
        p = file.line(atom_line_size);
        p = put_text(p, " ");
        const Symbol& symbol = (*cryst.name)[i - 1];
        p = put_text(p, std::string_view(symbol.data(), symbol.size()));
        for (int k = 1; k <= 3; ++k) {
            p = put_text(p, " ");
            p = put_real(p, cryst.xyz_at(i, k));
        }
        *p++ = '\n';
        file.end_line(p);
    }
    file.close();
}

}  // namespace zorvak_crystal
