"""Checks XYZ structure files with the crystal library.

read_xyz(name) returns None when the named file exists and is well formed,
and raises an exception saying what is wrong otherwise.
"""

__test__: dict[str, object]

def read_xyz(xyz_file_in: str, /) -> None:
    """Checks that the named XYZ file is well formed; returns None.

    The file holds an atom count, a cell line (cell: then three rows of three
    reals, split by |) and a line per atom: its atomic number and three
    coordinates, taken as written, with no unit assumed.  Reading stops at the
    end of the last atom's line, and the structure is discarded.  Raises
    OSError (FileNotFoundError, PermissionError, ..., with errno and filename
    set) when the file cannot be opened, ValueError naming the file, line and
    item when it is malformed or ends early, MemoryError when memory runs out;
    TypeError unless the name is exactly a str, ValueError for a NUL in it.  A
    read waiting on a pipe answers Ctrl-C.
    """
