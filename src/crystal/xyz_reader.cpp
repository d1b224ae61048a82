#include "crystal/xyz_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "crystal/atom_storage.hpp"
#include "crystal/padded_name.hpp"

namespace zorvak_crystal {

namespace {

// An atom group needs at least four one-character values, three separators
// and the line end before the next group: 8 bytes, 7 for the last.
constexpr std::size_t min_atom_bytes = 8;

// Closes the descriptor on every path out of a read.
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

// The hook is asked before every open and read, and again after a signal
// cut one short.  Asking before catches a signal that came while the text
// was flowing: it interrupted no wait, and the next one could last for
// ever.  One that comes between the question and the call that then waits
// is still seen only once another signal or the text arrives: the gap that
// every check made before a blocking call leaves, CPython's own reads
// included.

// Opens the named file for reading; the name is passed whole.  Opening a
// pipe waits for its writer.
int open_file(const std::string& name, const Interrupt_hook& on_interrupt)
{
    // A NUL byte inside would open a shorter name.
    if (name.find('\0') != std::string::npos) throw Xyz_error::open_failure(name, read_unit, EINVAL);
    for (;;) {
        if (on_interrupt) on_interrupt();
        const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) return fd;
        if (errno != EINTR) throw Xyz_error::open_failure(name, read_unit, errno);
    }
}

// Reads what fits at `into`; 0 at the end of the file.
std::size_t read_some(int fd, char* into, std::size_t room, const std::string& name,
                      const Interrupt_hook& on_interrupt)
{
    for (;;) {
        if (on_interrupt) on_interrupt();
        const ssize_t got = ::read(fd, into, room);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw Xyz_error::read_failure(name, errno);
    }
}

}  // namespace

void read_xyz_tokens(Crystal& cryst, Xyz_tokenizer& tokens, std::optional<std::uint64_t> size,
                     const std::string& filename)
{
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
    if (cryst.xyz) throw Xyz_error::already_read(filename);

    // The rest of a group's last line is passed over only when another
    // group follows: nothing after the structure is read.
    const std::size_t n = natom > 0 ? static_cast<std::size_t>(natom) : 0;
    if (n > 0) tokens.end_group();

    // The count is not trusted for memory beyond what the rest of the text
    // can hold.
    const std::uint64_t consumed = tokens.consumed();
    const bool count_trusted = size && consumed <= *size && n <= (*size - consumed + 1) / min_atom_bytes;
    Atom_storage atoms(n, count_trusted, filename);

    Element_map elements;
    elements.initialize_element_map();
    Xyz_tokenizer::Number_line line;
    for (std::size_t i = 0; i < n; ++i) {
        // Nearly every atom but the last (whose line end is not waited for)
        // sits on one line in the usual form; any other is read value by
        // value, and so gets its own message.
        if (i + 1 < n && tokens.take_number_line(line, 1, 118)) {
            atoms.set(i, elements.get_element_symbol(line.integer), line.reals[0], line.reals[1], line.reals[2]);
            continue;
        }
        tokens.begin_group("atom", static_cast<long>(i + 1));
        const std::int32_t atomic_number = tokens.next_integer();
        if (atomic_number < 1 || atomic_number > 118) tokens.reject_last("atomic number outside 1..118:");
        const double x = tokens.next_real();
        const double y = tokens.next_real();
        const double z = tokens.next_real();
        if (i + 1 < n) tokens.end_group();
        atoms.set(i, elements.get_element_symbol(atomic_number), x, y, z);
    }

    atoms.move_into(cryst);
    cryst.natom = natom;
    cryst.cell = cell;
}

void read_xyz_file(Crystal& cryst, std::string_view filename, const Interrupt_hook& on_interrupt,
                   std::size_t window)
{
    const std::string name(trim_trailing_blanks(filename));
    const File_descriptor file(open_file(name, on_interrupt));
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) throw Xyz_error::open_failure(name, read_unit, errno);
    if (S_ISDIR(st.st_mode)) throw Xyz_error::open_failure(name, read_unit, EISDIR);

    // Only a regular file's size tells how much text is to come.
    std::optional<std::uint64_t> size;
    if (S_ISREG(st.st_mode)) size = static_cast<std::uint64_t>(st.st_size);
    Xyz_tokenizer tokens(
        [&](char* into, std::size_t room) { return read_some(file.get(), into, room, name, on_interrupt); },
        name, window);
    read_xyz_tokens(cryst, tokens, size, name);
}

void read_xyz(Crystal& cryst, std::string_view filename, const Interrupt_hook& on_interrupt)
{
    read_xyz_file(cryst, filename, on_interrupt, Xyz_tokenizer::default_window);
}

void read_xyz_buffer(Crystal& cryst, std::string_view text, std::string_view filename)
{
    const std::string name(filename);
    Xyz_tokenizer tokens(text, name);
    read_xyz_tokens(cryst, tokens, text.size(), name);
}

}  // namespace zorvak_crystal
