"""The converters' own files for the Python tests: every converter, type word and encoding on one
small grid, with smooth values, made by the programs of a build folder."""

import os
import struct
import subprocess

# numpy's and struct's letter for each type word the tests write.
TYPES = {"unsigned_char": "B", "char": "b", "short": "h", "unsigned_short": "H", "int": "i",
         "unsigned_int": "I", "long": "q", "unsigned_long": "Q", "vtktypeint64": "q",
         "float": "f", "double": "d"}
ENCODINGS = {"voxaxis": ["BINARY", "ASCII"], "voxeven": ["BINARY", "ASCII", "BINARY_FILE"],
             "voxslab": ["BINARY", "ASCII"]}
DIMENSIONS = (8, 6, 4)


def sample_values(word):
    """Smooth values over the grid, x fastest, that every type holds."""
    x, y, _ = DIMENSIONS
    code = TYPES[word]
    return [(p % x) * 3 + (p // x % y) * 5 + p // (x * y) + (0.5 if code in "fd" else 0)
            for p in range(x * y * DIMENSIONS[2])]


def convert(build, folder, program, encoding, word, little_endian=False):
    """Writes the samples and grid files into `folder` and converts them; the output's path."""
    x, y, z = DIMENSIONS
    values = sample_values(word)
    stem = os.path.join(folder, "%s_%s_%s%s" % (program, encoding.lower(), word,
                                               "_little" if little_endian else ""))
    with open(stem + ".raw", "wb") as raw:
        if encoding == "ASCII":
            raw.write((" ".join(str(v) for v in values) + "\n").encode())
        else:
            order = "<" if little_endian else ">"
            raw.write(struct.pack("%s%d%s" % (order, len(values), TYPES[word]), *values))

    def axis_file(name, count, step):
        path = "%s_%s.txt" % (stem, name)
        with open(path, "wb") as out:
            if encoding == "ASCII":
                out.write((" ".join(str(i * step) for i in range(count)) + "\n").encode())
            else:
                out.write(struct.pack(">%df" % count, *[i * step for i in range(count)]))
        return path
    grid = {
        "voxaxis": lambda: [axis_file("x", x, 0.5), axis_file("y", y, 1.0), axis_file("z", z, 2.5)],
        "voxeven": lambda: ["0.5", "1", "2.5", "-1", "0", "10"],
        "voxslab": lambda: ["0.5", "1", "-1", "0", axis_file("z", z, 2.5)],
    }[program]()
    arguments = [os.path.join(build, program, program), stem + ".raw", stem + ".vtk"]
    arguments += [str(d) for d in DIMENSIONS] + grid + [word, encoding]
    subprocess.run(arguments, check=True)
    return stem + ".vtk"


def every_file(build, folder):
    """Every converter, type word and encoding."""
    return [convert(build, folder, program, encoding, word)
            for program, encodings in ENCODINGS.items()
            for encoding in encodings for word in TYPES]
