#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "crystal/crystal.hpp"
#include "crystal/xyz_text.hpp"
#include "crystal/xyz_tokenizer.hpp"

namespace zorvak_crystal {

namespace {

// An atom group needs at least four one-character values, three separators
// and the line end before the next group: 8 bytes, 7 for the last.
constexpr std::size_t min_atom_bytes = 8;

[[noreturn]] void fail_file(Error_kind kind, const std::string& name, int err, const std::string& what)
{
    throw Xyz_error(kind, name, read_unit, err, 0, 0,
                    what + " file " + shown(name) + " for reading on unit "
                    + std::to_string(read_unit) + ": " + system_reason(err));
}

// Closes the descriptor on every path out of read_file.
class File_descriptor {
public:
    explicit File_descriptor(int fd) : fd_(fd) {}
    File_descriptor(const File_descriptor&) = delete;
    File_descriptor& operator=(const File_descriptor&) = delete;
    ~File_descriptor() { ::close(fd_); }
    int get() const { return fd_; }

private:
    int fd_;
};

// Leaves new elements uninitialised: read() fills the file buffer at once,
// so zero-filling tens of megabytes before it would be wasted work.
template <class T>
struct Uninitialised_allocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = Uninitialised_allocator<U>;
    };
    Uninitialised_allocator() = default;
    template <class U>
    Uninitialised_allocator(const Uninitialised_allocator<U>&) noexcept {}

    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
};

using File_text = std::vector<char, Uninitialised_allocator<char>>;

// The whole file in one buffer, read in one go where its size is known.
File_text read_file(const std::string& name)
{
    // The name is passed whole: a NUL byte inside would open a shorter name.
    if (name.find('\0') != std::string::npos) fail_file(Error_kind::cannot_open, name, EINVAL, "cannot open");

    int fd;
    do fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) fail_file(Error_kind::cannot_open, name, errno, "cannot open");
    const File_descriptor file(fd);

    struct stat st {};
    if (::fstat(fd, &st) != 0) fail_file(Error_kind::cannot_open, name, errno, "cannot open");
    if (S_ISDIR(st.st_mode)) fail_file(Error_kind::cannot_open, name, EISDIR, "cannot open");

    File_text text;
    try {
        // One byte beyond the known size lets the loop see the end at once.
        text.resize(S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) + 1 : 65536);
        std::size_t used = 0;
        for (;;) {
            if (used == text.size()) text.resize(text.size() * 2);
            const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
            if (got < 0) {
                if (errno == EINTR) continue;
                fail_file(Error_kind::cannot_open, name, errno, "cannot read");
            }
            if (got == 0) break;
            used += static_cast<std::size_t>(got);
        }
        text.resize(used);
    } catch (const std::bad_alloc&) {
        throw Xyz_error(Error_kind::out_of_memory, name, read_unit, ENOMEM, 0, 0,
                        "file " + shown(name) + " on unit " + std::to_string(read_unit)
                        + ": not enough memory to hold the file");
    }
    return text;
}

}  // namespace

void read_xyz_buffer(Crystal& cryst, std::string_view text, std::string_view filename)
{
    Xyz_tokenizer tokens(text, filename);

    tokens.begin_group("the count group");
    const std::int32_t natom = tokens.next_integer();
    tokens.end_group();

    // Row r of the cell follows the r-th label; labels are discarded.
    std::array<double, 9> cell{};
    tokens.begin_group("the cell group");
    for (int r = 1; r <= 3; ++r) {
        tokens.next_text();
        for (int c = 1; c <= 3; ++c) cell[(c - 1) * 3 + (r - 1)] = tokens.next_real();
    }
    tokens.end_group();

    if (cryst.xyz) {
        throw Xyz_error(Error_kind::already_read, std::string(filename), read_unit, 0, 0, 0,
                        "file " + shown(filename) + " on unit " + std::to_string(read_unit)
                        + ": Attempting to allocate already allocated variable 'cryst'"
                        " (its coordinates are present; release them before reading again)");
    }

    // The count is not trusted for memory: a count the rest of the text
    // cannot hold is bound to end in end of file, so nothing is stored.
    const std::size_t n = natom > 0 ? static_cast<std::size_t>(natom) : 0;
    const bool fits = n <= (tokens.remaining() + 1) / min_atom_bytes;
    std::vector<double> xyz;
    std::vector<Symbol> name;
    try {
        if (fits) {
            xyz.resize(3 * n);
            name.resize(n);
        }
    } catch (const std::bad_alloc&) {
        throw Xyz_error(Error_kind::out_of_memory, std::string(filename), read_unit, ENOMEM, 0, 0,
                        "file " + shown(filename) + " on unit " + std::to_string(read_unit)
                        + ": Error allocating " + std::to_string(24 * n) + " bytes for "
                        + std::to_string(n) + " atoms");
    }

    Element_map elements;
    elements.initialize_element_map();
    for (std::size_t i = 0; i < n; ++i) {
        tokens.begin_group("atom", static_cast<long>(i + 1));
        const std::int32_t z = tokens.next_integer();
        if (z < 1 || z > 118) tokens.reject_last("atomic number outside 1..118:");
        const double x = tokens.next_real();
        const double y = tokens.next_real();
        const double w = tokens.next_real();
        tokens.end_group();
        if (fits) {
            name[i] = elements.get_element_symbol(z);
            xyz[i] = x;
            xyz[n + i] = y;
            xyz[2 * n + i] = w;
        }
    }
    if (!fits) throw std::logic_error("read_xyz_buffer(): atom count check let a short file through");

    cryst.natom = natom;
    cryst.cell = cell;
    cryst.name = std::move(name);
    cryst.xyz = std::move(xyz);
}

void read_xyz(Crystal& cryst, std::string_view filename)
{
    const std::string name(trim_trailing_blanks(filename));
    const File_text text = read_file(name);
    read_xyz_buffer(cryst, std::string_view(text.data(), text.size()), name);
}

}  // namespace zorvak_crystal
