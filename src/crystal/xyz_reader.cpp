#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "crystal/crystal.hpp"
#include "crystal/xyz_text.hpp"
#include "crystal/xyz_tokenizer.hpp"

namespace zorvak_crystal {

namespace {

// An atom group needs at least four one-character values, three separators
// and the line end before the next group: 8 bytes, 7 for the last.
constexpr std::size_t min_atom_bytes = 8;

// See read_stream.
constexpr std::size_t longest_open_line = std::size_t(1) << 20;

[[noreturn]] void fail_file(Error_kind kind, const std::string& name, int err, const std::string& what)
{
    throw Xyz_error(kind, name, read_unit, err, 0, 0,
                    what + " file " + shown(name) + " for reading on unit "
                    + std::to_string(read_unit) + ": " + system_reason(err));
}

// Closes the descriptor on every path out of a read.
class File_descriptor {
public:
    explicit File_descriptor(int fd) : fd_(fd) {}
    File_descriptor(File_descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    File_descriptor(const File_descriptor&) = delete;
    File_descriptor& operator=(const File_descriptor&) = delete;
    ~File_descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
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

// Opens the named file for reading; the name is passed whole.
File_descriptor open_file(const std::string& name, struct stat& st)
{
    // A NUL byte inside would open a shorter name.
    if (name.find('\0') != std::string::npos) fail_file(Error_kind::cannot_open, name, EINVAL, "cannot open");

    int fd;
    do fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) fail_file(Error_kind::cannot_open, name, errno, "cannot open");
    File_descriptor file(fd);

    if (::fstat(fd, &st) != 0) fail_file(Error_kind::cannot_open, name, errno, "cannot open");
    if (S_ISDIR(st.st_mode)) fail_file(Error_kind::cannot_open, name, EISDIR, "cannot open");
    return file;
}

// Reads what fits into text[used..]; 0 at the end of the file.
std::size_t read_some(const File_descriptor& file, File_text& text, std::size_t used, const std::string& name)
{
    for (;;) {
        const ssize_t got = ::read(file.get(), text.data() + used, text.size() - used);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) fail_file(Error_kind::cannot_open, name, errno, "cannot read");
    }
}

[[noreturn]] void fail_file_memory(const std::string& name)
{
    throw Xyz_error(Error_kind::out_of_memory, name, read_unit, ENOMEM, 0, 0,
                    "file " + shown(name) + " on unit " + std::to_string(read_unit)
                    + ": not enough memory to hold the file");
}

// A regular file: the whole of it in one buffer, read in one go.
void read_regular(Crystal& cryst, const File_descriptor& file, std::size_t size, const std::string& name)
{
    File_text text;
    std::size_t used = 0;
    try {
        // One byte beyond the known size lets the loop see the end at once.
        text.resize(size + 1);
        while (std::size_t got = read_some(file, text, used, name)) {
            used += got;
            if (used == text.size()) text.resize(text.size() * 2);  // the file grew
        }
    } catch (const std::bad_alloc&) {
        fail_file_memory(name);
    }
    read_xyz_buffer(cryst, std::string_view(text.data(), used), name);
}

// A pipe or device has no size and may never end.  It is read only as far
// as the structure needs: the complete lines read so far are parsed each
// time the text has doubled, so an endless or hostile stream fails at its
// first bad value instead of filling memory, and a pipe whose writer stays
// open is done once its atoms are in.  A value never spans lines, so a
// parse of complete lines cannot take a cut number for a whole one.
void read_stream(Crystal& cryst, const File_descriptor& file, const std::string& name)
{
    File_text text;
    std::size_t used = 0;
    std::size_t parsed = 0;
    for (;;) {
        std::size_t got = 0;
        try {
            if (used == text.size()) text.resize(std::max<std::size_t>(65536, 2 * text.size()));
            got = read_some(file, text, used, name);
        } catch (const std::bad_alloc&) {
            fail_file_memory(name);
        }
        used += got;
        const bool ended = got == 0;
        if (!ended && used < 2 * parsed) continue;
        const std::string_view read_so_far(text.data(), used);
        const std::size_t complete = read_so_far.rfind('\n') + 1;  // 0 when no line has ended
        // A line still open after a megabyte is taken as it stands: no
        // structure needs one that long, and a stream without line ends
        // must fail at its first bad value rather than fill memory.
        const bool whole = ended || used - complete > longest_open_line;
        const std::string_view lines = whole ? read_so_far : read_so_far.substr(0, complete);
        parsed = used;
        try {
            read_xyz_buffer(cryst, lines, name);
            return;
        } catch (const Xyz_error& e) {
            if (ended || e.kind() != Error_kind::end_of_file) throw;
        }
    }
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
    struct stat st {};
    const File_descriptor file = open_file(name, st);
    if (S_ISREG(st.st_mode)) {
        read_regular(cryst, file, static_cast<std::size_t>(st.st_size), name);
    } else {
        read_stream(cryst, file, name);
    }
}

}  // namespace zorvak_crystal
