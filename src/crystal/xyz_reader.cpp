#include "crystal/xyz_reader.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "crystal/xyz_text.hpp"

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
        if (errno != EINTR) throw Xyz_error::open_failure(name, read_unit, errno, "cannot read");
    }
}

// One column of atoms whose number is not known ahead, in fixed blocks
// mapped from the system: growing never copies, and each block leaves the
// process as soon as it is gathered into the record (the allocator could
// keep a freed block of this size for later, past the read).
template <class T>
class Column {
public:
    void push_back(T value)
    {
        if (used_ == block_atoms) {
            blocks_.push_back(map_block());
            used_ = 0;
        }
        blocks_.back().get()[used_++] = value;
    }

    // Appends the column to `out`, which has room for it, releasing each
    // block once copied.
    void move_to(std::vector<T>& out)
    {
        for (std::size_t b = 0; b < blocks_.size(); ++b) {
            const T* first = blocks_[b].get();
            out.insert(out.end(), first, first + (b + 1 < blocks_.size() ? block_atoms : used_));
            blocks_[b].reset();
        }
        blocks_.clear();
    }

private:
    // 512 KiB of coordinates: a mapping per block costs nothing next to
    // filling it, and the peak holds one block beyond the record.
    static constexpr std::size_t block_atoms = std::size_t(1) << 16;
    static constexpr std::size_t block_bytes = block_atoms * sizeof(T);

    struct Unmap {
        void operator()(T* block) const noexcept { ::munmap(block, block_bytes); }
    };
    using Block = std::unique_ptr<T, Unmap>;

    static Block map_block()
    {
        void* block = ::mmap(nullptr, block_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) throw std::bad_alloc();
        return Block(static_cast<T*>(block));
    }

    std::vector<Block> blocks_;
    std::size_t used_ = block_atoms;  // atoms in the last block
};

// The atoms' arrays.  When the text is known to have room for the count,
// they are made at once and filled in place, column by column as the record
// keeps them.  Otherwise (a pipe, or a count the file cannot hold) they grow
// in blocks with the atoms actually read, so a false count costs no memory
// and leads to the error the text itself gives, and are gathered at the end.
class Atom_arrays {
public:
    Atom_arrays(std::size_t n, bool count_trusted, const std::string& filename)
        : n_(n), placed_(count_trusted), filename_(filename)
    {
        try {
            if (placed_) {
                xyz_.resize(3 * n);
                name_.resize(n);
            }
        } catch (const std::bad_alloc&) {
            fail();
        }
    }

    void set(std::size_t i, Symbol symbol, double x, double y, double w)
    {
        if (placed_) {
            name_[i] = symbol;
            xyz_[i] = x;
            xyz_[n_ + i] = y;
            xyz_[2 * n_ + i] = w;
            return;
        }
        try {
            names_.push_back(symbol);
            x_.push_back(x);
            y_.push_back(y);
            w_.push_back(w);
        } catch (const std::bad_alloc&) {
            fail();
        }
    }

    // Hands the complete arrays to the record.
    void move_into(Crystal& cryst)
    {
        if (!placed_) {
            // The record's arrays are reserved, not written, so they take
            // memory only as the blocks, released one by one, fill them.
            try {
                name_.reserve(n_);
                xyz_.reserve(3 * n_);
            } catch (const std::bad_alloc&) {
                fail();
            }
            names_.move_to(name_);
            x_.move_to(xyz_);
            y_.move_to(xyz_);
            w_.move_to(xyz_);
        }
        cryst.name = std::move(name_);
        cryst.xyz = std::move(xyz_);
    }

private:
    [[noreturn]] void fail() const
    {
        throw Xyz_error::out_of_memory(filename_, "Error allocating " + std::to_string(24 * n_) + " bytes for "
                                                      + std::to_string(n_) + " atoms");
    }

    std::size_t n_;
    bool placed_;
    const std::string& filename_;
    // The record's arrays: filled in place, or gathered from the columns.
    std::vector<Symbol> name_;
    std::vector<double> xyz_;
    Column<Symbol> names_;
    Column<double> x_;
    Column<double> y_;
    Column<double> w_;
};

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
    Atom_arrays atoms(n, count_trusted, filename);

    Element_map elements;
    elements.initialize_element_map();
    for (std::size_t i = 0; i < n; ++i) {
        tokens.begin_group("atom", static_cast<long>(i + 1));
        const std::int32_t z = tokens.next_integer();
        if (z < 1 || z > 118) tokens.reject_last("atomic number outside 1..118:");
        const double x = tokens.next_real();
        const double y = tokens.next_real();
        const double w = tokens.next_real();
        if (i + 1 < n) tokens.end_group();
        atoms.set(i, elements.get_element_symbol(z), x, y, w);
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
