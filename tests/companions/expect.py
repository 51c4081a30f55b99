"""What a companion header should make a reader give, from the command line of a driver.

Every driver takes the same words after its own:

    COMPANION RAW TYPE ORDER COMPONENTS NX NY NZ XAXIS YAXIS ZAXIS

RAW is the sample file the volume was converted from, TYPE a type word of the legacy layout
(long and unsigned_long being 8 bytes), ORDER big or little (the byte order of RAW), and each AXIS
either ORIGIN:SPACING or @FILE, a file of big-endian 32-bit floats (the grid lines, as given to
voxaxis or voxslab). A driver compares the dimensions, the grid lines of each axis, the type and
count of components and every value, and exits 1 naming the first difference of each kind.
"""

import sys

import numpy as np

TYPES = {
    "unsigned_char": "u1", "char": "i1", "short": "i2", "unsigned_short": "u2",
    "int": "i4", "unsigned_int": "u4", "long": "i8", "unsigned_long": "u8",
    "float": "f4", "double": "f8",
}
USAGE = "COMPANION RAW TYPE big|little COMPONENTS NX NY NZ XAXIS YAXIS ZAXIS"
CHUNK = 1 << 26


class Mismatch(Exception):
    """A difference between what a reader gave and what was expected."""


class Expected:
    def __init__(self, words):
        if len(words) != 11 or words[2] not in TYPES or words[3] not in ("big", "little"):
            raise SystemExit(f"usage: {sys.argv[0]} ... {USAGE}")
        self.companion, self.raw, self.type, order = words[:4]
        self.components = int(words[4])
        self.dims = [int(w) for w in words[5:8]]
        self.dtype = np.dtype(TYPES[self.type]).newbyteorder(">" if order == "big" else "<")
        self.axes = [self.axis(w, n) for w, n in zip(words[8:11], self.dims)]

    @staticmethod
    def axis(word, count):
        """The grid lines of one axis, as float64."""
        if word.startswith("@"):
            lines = np.fromfile(word[1:], dtype=">f4").astype(np.float64)
            if lines.size < count:
                raise SystemExit(f"{word[1:]} holds {lines.size} values, not {count}")
            return lines[:count]
        origin, spacing = (float(v) for v in word.split(":"))
        return origin + spacing * np.arange(count, dtype=np.float64)

    def uniform(self, index):
        """ORIGIN and SPACING of an axis, for readers that know only uniform grids."""
        lines = self.axes[index]
        step = lines[1] - lines[0] if lines.size > 1 else 1.0
        return lines[0], step

    def check_grid(self, dims, axes):
        """dims: what the reader gave; axes: its grid lines along x, y, z (array-like)."""
        if list(dims) != self.dims:
            raise Mismatch(f"dimensions {list(dims)} instead of {self.dims}")
        for name, got, want in zip("xyz", axes, self.axes):
            got = np.asarray(got, dtype=np.float64)
            tolerance = 1e-5 * np.maximum(1.0, np.abs(want))
            if got.shape != want.shape or not np.all(np.abs(got - want) <= tolerance):
                raise Mismatch(f"{name} grid lines {clip(got)} instead of {clip(want)}")

    def check_values(self, values, components):
        """values: a flat or (points, components) array in the reader's own (host) order."""
        values = np.asarray(values)
        if components != self.components:
            raise Mismatch(f"{components} components instead of {self.components}")
        want = self.dtype.newbyteorder("=")
        if (values.dtype.kind, values.dtype.itemsize) != (want.kind, want.itemsize):
            raise Mismatch(f"values of type {values.dtype} instead of {want} ({self.type})")
        count = self.dims[0] * self.dims[1] * self.dims[2] * self.components
        values = values.reshape(-1)
        if values.size != count:
            raise Mismatch(f"{values.size} values instead of {count}")
        raw = np.memmap(self.raw, dtype=self.dtype, mode="r", shape=(count,))
        # Compared as bits, so that NaN equals NaN and -0 differs from 0.
        bits = np.dtype(f"u{want.itemsize}")
        for start in range(0, count, CHUNK):
            got = values[start:start + CHUNK].view(bits)
            expected = raw[start:start + CHUNK].astype(want).view(bits)
            differ = np.flatnonzero(got != expected)
            if differ.size:
                i = differ[0]
                raise Mismatch(f"value {start + i} is {values[start + i]!r} instead of "
                               f"{raw[start + i]!r} ({differ.size} differ in this block)")


def clip(lines):
    text = np.array2string(lines[:6], precision=6, separator=" ")
    return text[:-1] + " ...]" if lines.size > 6 else text


def run(reader_name, check, words):
    """Runs check(expected), reporting a Mismatch on standard error with exit status 1."""
    expected = Expected(words)
    try:
        said = check(expected)
    except Mismatch as error:
        print(f"{expected.companion}: {reader_name}: {error}", file=sys.stderr)
        return 1
    print(f"{reader_name} {expected.companion}: {said}")
    return 0
