"""Reads XYZ structure files through the crystal library."""

__test__: dict[str, object]

def read_xyz(xyz_file_in: str, /) -> None:
    """Reads the named XYZ file in full and discards the structure.

    Raises OSError when the file cannot be opened, ValueError naming the
    file, line and item when it is malformed, MemoryError when memory runs
    out.
    """
