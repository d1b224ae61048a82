#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "crystal/crystal.hpp"
#include "crystal/padded_name.hpp"

namespace zorvak_crystal {

namespace {

// A real item: 17 significant digits, which give back the same double, in
// 25 columns; the fixed form takes the first 20 of them, blanks the rest.
constexpr int real_digits = 17;
constexpr int real_width = 25;
constexpr int fixed_width = 20;
// An integer item.
constexpr int integer_width = 11;
// What precedes and separates the items of each line.
constexpr std::string_view count_lead = " ";
constexpr std::string_view cell_lead = " cell:  ";
constexpr std::string_view cell_column_gap = "   ";
constexpr std::string_view cell_row_gap = "  |  ";
constexpr std::string_view atom_lead = " ";
constexpr std::string_view atom_gap = " ";

// Writes `text` right-justified in `width` columns at out.
char* right_justified(char* out, int width, std::string_view text)
{
    const std::size_t pad = static_cast<std::size_t>(width) - text.size();
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, text.data(), text.size());
    return out + width;
}

// A real item.  The rounding to 17 digits decides the form: fixed for zero
// and for magnitudes in [0.1, 1e17), right-justified in 20 columns and
// followed by 5 blanks; scientific (d.ddddddddddddddddE+ddd)
// right-justified in 25 otherwise.
char* put_real(char* out, double v)
{
    if (std::isnan(v)) return right_justified(out, real_width, "NaN");
    if (std::isinf(v)) return right_justified(out, real_width, v < 0 ? "-Infinity" : "Infinity");

    // Correctly rounded digits: d.dddddddddddddddde[+-]dd[d]
    constexpr std::size_t mantissa_size = real_digits + 1;  // the digits and the point
    char sci[32];
    const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific,
                                   real_digits - 1);
    const char* exp_text = sci + mantissa_size + 1;  // after the 'e'
    int exponent = 0;
    std::from_chars(exp_text + 1, res.ptr, exponent);
    if (*exp_text == '-') exponent = -exponent;
    char digits[real_digits];
    digits[0] = sci[0];
    std::memcpy(digits + 1, sci + 2, real_digits - 1);

    char text[32];
    std::size_t len = 0;
    if (std::signbit(v)) text[len++] = '-';
    if (v == 0.0 || (exponent >= -1 && exponent < real_digits)) {
        if (exponent == -1) {
            text[len++] = '0';
            text[len++] = '.';
            std::memcpy(text + len, digits, real_digits);
            len += real_digits;
        } else {
            const std::size_t before = static_cast<std::size_t>(exponent) + 1;
            std::memcpy(text + len, digits, before);
            len += before;
            text[len++] = '.';
            std::memcpy(text + len, digits + before, real_digits - before);
            len += real_digits - before;
        }
        out = right_justified(out, fixed_width, std::string_view(text, len));
        std::memset(out, ' ', real_width - fixed_width);
        return out + (real_width - fixed_width);
    }
    text[len++] = digits[0];
    text[len++] = '.';
    std::memcpy(text + len, digits + 1, real_digits - 1);
    len += real_digits - 1;
    text[len++] = 'E';
    text[len++] = exponent < 0 ? '-' : '+';
    const int e = std::abs(exponent);
    text[len++] = static_cast<char>('0' + e / 100);
    text[len++] = static_cast<char>('0' + e / 10 % 10);
    text[len++] = static_cast<char>('0' + e % 10);
    return right_justified(out, real_width, std::string_view(text, len));
}

// An integer item, right-justified.
char* put_integer(char* out, std::int32_t v)
{
    char text[12];
    const auto res = std::to_chars(text, text + sizeof text, v);
    return right_justified(out, integer_width, std::string_view(text, static_cast<std::size_t>(res.ptr - text)));
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

// Each line's size at the most, its line feed included.
constexpr std::size_t count_line_size = count_lead.size() + integer_width + 1;
constexpr std::size_t cell_line_size = cell_lead.size() + 3 * (3 * real_width + 2 * cell_column_gap.size())
    + 2 * cell_row_gap.size() + 1;
constexpr std::size_t atom_line_size =
    atom_lead.size() + std::tuple_size_v<Symbol> + 3 * (atom_gap.size() + real_width) + 1;

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
    p = put_text(p, count_lead);
    p = put_integer(p, cryst.natom);
    *p++ = '\n';
    file.end_line(p);

    p = file.line(cell_line_size);
    p = put_text(p, cell_lead);
    for (int r = 1; r <= 3; ++r) {
        if (r > 1) p = put_text(p, cell_row_gap);
        for (int c = 1; c <= 3; ++c) {
            if (c > 1) p = put_text(p, cell_column_gap);
            p = put_real(p, cryst.cell_at(r, c));
        }
    }
    *p++ = '\n';
    file.end_line(p);

    for (std::size_t i = 1; i <= n; ++i) {
        p = file.line(atom_line_size);
        p = put_text(p, atom_lead);
        const Symbol& symbol = (*cryst.name)[i - 1];
        p = put_text(p, std::string_view(symbol.data(), symbol.size()));
        for (int k = 1; k <= 3; ++k) {
            p = put_text(p, atom_gap);
            p = put_real(p, cryst.xyz_at(i, k));
        }
        *p++ = '\n';
        file.end_line(p);
    }
    file.close();
}

}  // namespace zorvak_crystal
