"""vtkVoxReader in Debian's python3 with python3-vtk9: every grid kind and encoding the converters
write, reference mode, both byte orders, parts of the grid, and files it must refuse.

Usage: vtk_reader_test.py VOXAXIS VOXEVEN VOXSLAB"""
import os
import struct
import subprocess
import sys
import tempfile

from vtkmodules.util.misc import calldata_type
from vtkmodules.vtkCommonCore import (VTK_DOUBLE, VTK_FLOAT, VTK_INT, VTK_SHORT, VTK_STRING,
                                      VTK_UNSIGNED_CHAR, VTK_UNSIGNED_SHORT)

import vox

VOXAXIS, VOXEVEN, VOXSLAB = sys.argv[1:4]
NX, NY, NZ = 16, 8, 4
POINTS = NX * NY * NZ
# A smooth ramp, as data are: the automatic byte order can tell it from its swapped bytes.
SAMPLES = [(3 * i + 100) % 60000 for i in range(POINTS)]
REALS = [0.25 * i - 7.5 for i in range(POINTS)]
XS = [0.0, 1.0, 3.0, 6.0, 10.0, 15.0, 21.0, 28.0, 36.0, 45.0, 55.0, 66.0, 78.0, 91.0, 105.0, 120.0]
YS = [-4.0 + 0.5 * i * i for i in range(NY)]
ZS = [2.0, 2.5, 4.0, 8.0]

# The type word, its code in struct, and the VTK type of the array (VTK 9.1 makes it a
# vtkUnsignedShortArray, ParaView's VTK a vtkTypeUInt16Array: the same type).
TYPES = {"unsigned_short": ("H", VTK_UNSIGNED_SHORT), "short": ("h", VTK_SHORT),
         "float": ("f", VTK_FLOAT), "double": ("d", VTK_DOUBLE),
         "unsigned_char": ("B", VTK_UNSIGNED_CHAR), "int": ("i", VTK_INT)}


def binary(values, code, order=">"):
    return struct.pack(order + str(len(values)) + code, *values)


def text(values):
    return ("\n".join(" ".join(repr(v) for v in values[i:i + 8])
                      for i in range(0, len(values), 8)) + "\n").encode()


def read(path, order=None, extent=None, piece=None, configure=None):
    """The reader after an update, and the error messages it gave; `configure(reader)` is called
    before the update."""
    reader = vox.vtkVoxReader()
    messages = []

    @calldata_type(VTK_STRING)
    def caught(caller, event, message):
        messages.append(message)

    reader.AddObserver("ErrorEvent", caught)
    reader.GetExecutive().AddObserver("ErrorEvent", caught)
    reader.SetFileName(path)
    if order is not None:
        reader.SetByteOrder(order)
    if configure is not None:
        configure(reader)
    if extent is not None:
        reader.UpdateExtent(extent)
    elif piece is not None:
        reader.UpdatePiece(piece[0], piece[1], 0)
    else:
        reader.Update()
    return reader, messages


def write(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def convert(folder, argv):
    subprocess.run(argv, cwd=folder, check=True)


def close(a, b):
    return len(a) == len(b) and all(abs(x - y) <= 1e-6 * max(1.0, abs(y)) for x, y in zip(a, b))


# One row a file: the converter's command line after the sample file and the output file, the
# samples as written (type, values, encoding, order), what the reader must give.
ROWS = [
    # name, program, grid arguments, type, encoding, order written, ByteOrder, class, geometry
    ("uniform binary", VOXEVEN, ["0.5", "1", "2", "-1", "0", "3"], "unsigned_short", "BINARY",
     ">", None, "vtkImageData", {"spacing": (0.5, 1, 2), "origin": (-1, 0, 3)}),
    ("uniform ascii", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "float", "ASCII", None, None,
     "vtkImageData", {"spacing": (1, 1, 1), "origin": (0, 0, 0)}),
    ("uniform little-endian, said", VOXEVEN, ["1", "2", "3", "4", "5", "6"], "unsigned_short",
     "BINARY", "<", vox.vtkVoxReader.LittleEndian, "vtkImageData",
     {"spacing": (1, 2, 3), "origin": (4, 5, 6)}),
    ("uniform little-endian, judged", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "double",
     "BINARY", "<", vox.vtkVoxReader.Automatic, "vtkImageData", {}),
    ("uniform big-endian, judged", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "short", "BINARY",
     ">", vox.vtkVoxReader.Automatic, "vtkImageData", {}),
    ("rectilinear binary", VOXAXIS, ["x", "y", "z"], "short", "BINARY", ">", None,
     "vtkRectilinearGrid", {"x": XS, "y": YS, "z": ZS}),
    ("rectilinear ascii", VOXAXIS, ["x", "y", "z"], "int", "ASCII", None, None,
     "vtkRectilinearGrid", {"x": XS, "y": YS, "z": ZS}),
    ("slice stack binary", VOXSLAB, ["0.5", "2", "-3", "1", "z"], "float", "BINARY", ">", None,
     "vtkRectilinearGrid",
     {"x": [-3 + 0.5 * i for i in range(NX)], "y": [1 + 2.0 * i for i in range(NY)], "z": ZS}),
    ("slice stack ascii", VOXSLAB, ["1", "1", "0", "0", "z"], "unsigned_char", "ASCII", None,
     None, "vtkRectilinearGrid",
     {"x": [float(i) for i in range(NX)], "y": [float(i) for i in range(NY)], "z": ZS}),
    ("reference", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "unsigned_short", "BINARY_FILE", ">",
     None, "vtkImageData", {}),
]


def values_of(kind):
    code = TYPES[kind][0]
    if code in "fd":
        return REALS
    if code == "B":
        return [v % 256 for v in SAMPLES]
    return SAMPLES


def make(folder, row):
    name, program, grid, kind, encoding, order = row[:6]
    values = values_of(kind)
    code = TYPES[kind][0]
    sample = binary(values, code, order) if order else text(values)
    write(folder, "s.raw", sample)
    coordinates = {"x": XS, "y": YS, "z": ZS}
    for axis in "xyz":
        write(folder, axis, binary(coordinates[axis], "f") if encoding != "ASCII"
              else text(coordinates[axis]))
    dims = [str(NX), str(NY), str(NZ)]
    argv = [program, "s.raw", "out.vtk"] + dims + grid + [kind, encoding]
    if program == VOXSLAB:
        argv = [program, "s.raw", "out.vtk"] + dims + grid + [kind, encoding]
    convert(folder, argv)
    return os.path.join(folder, "out.vtk"), values


def check_rows(folder):
    failures = 0
    for row in ROWS:
        name, kind, order_setting, cls, geometry = row[0], row[3], row[6], row[7], row[8]
        path, values = make(folder, row)
        # Reference mode from another folder: the sample file is found beside the header.
        here = os.getcwd()
        os.chdir("/")
        try:
            reader, errors = read(path, order_setting)
        finally:
            os.chdir(here)
        out = reader.GetOutput()
        problems = []
        if errors or out is None:
            problems.append("errors: %s" % errors)
        else:
            scalars = out.GetPointData().GetScalars()
            if out.GetClassName() != cls:
                problems.append("class %s" % out.GetClassName())
            if out.GetDimensions() != (NX, NY, NZ):
                problems.append("dimensions %s" % (out.GetDimensions(),))
            if scalars.GetDataType() != TYPES[kind][1] or scalars.GetName() != "scalars":
                problems.append("array %s %s" % (scalars.GetClassName(), scalars.GetName()))
            got = [scalars.GetValue(i) for i in range(scalars.GetNumberOfValues())]
            if not close(got, values):
                problems.append("values %s... not %s..." % (got[:4], values[:4]))
            for key, want in geometry.items():
                if key in ("spacing", "origin"):
                    have = getattr(out, "Get" + key.capitalize())()
                else:
                    array = getattr(out, "Get" + key.upper() + "Coordinates")()
                    have = [array.GetValue(i) for i in range(array.GetNumberOfValues())]
                if not close(list(have), list(want)):
                    problems.append("%s %s, not %s" % (key, have, want))
        print(("FAIL " if problems else "ok   ") + name + ": " + "; ".join(problems))
        failures += bool(problems)
    return failures


def check_parts(folder):
    """Parts of the grid: the values of the part, read from the bytes of the part alone."""
    failures = 0
    path, values = make(folder, ROWS[0])
    size = 2
    for extent in [(0, 15, 0, 7, 0, 3), (0, 15, 0, 7, 2, 3), (0, 15, 3, 5, 1, 1),
                   (4, 9, 2, 6, 1, 3), (15, 15, 7, 7, 3, 3)]:
        reader, errors = read(path, extent=extent)
        out = reader.GetOutput()
        scalars = out.GetPointData().GetScalars()
        want = [values[i + NX * (j + NY * k)]
                for k in range(extent[4], extent[5] + 1)
                for j in range(extent[2], extent[3] + 1)
                for i in range(extent[0], extent[1] + 1)]
        got = [scalars.GetValue(i) for i in range(scalars.GetNumberOfValues())]
        problems = []
        if tuple(out.GetExtent()) != extent or got != want:
            problems.append("extent %s values %s..." % (out.GetExtent(), got[:4]))
        if reader.GetSampleBytesRead() != len(want) * size:
            problems.append("read %d bytes for %d" % (reader.GetSampleBytesRead(), len(want) * size))
        print(("FAIL " if problems or errors else "ok   ") + "part %s: %s" % (extent, problems))
        failures += bool(problems or errors)
    # Two pieces, as two ranks ask for them: each reads about half of the samples (the plane they
    # share, one of 64, is read by both).
    write(folder, "tall.raw", b"\1" * (NX * NY * 64 * size))
    convert(folder, [VOXEVEN, "tall.raw", "tall.vtk", str(NX), str(NY), "64", "1", "1", "1", "0",
                     "0", "0", "unsigned_short", "BINARY"])
    for piece in range(2):
        reader, errors = read(os.path.join(folder, "tall.vtk"), piece=(piece, 2))
        share = reader.GetSampleBytesRead() / (NX * NY * 64 * size)
        bad = errors or not 0.45 <= share <= 0.55
        print(("FAIL " if bad else "ok   ") + "piece %d of 2 read %.0f %%" % (piece, 100 * share))
        failures += bool(bad)
    return failures


def check_refused(folder):
    """Files the reader must refuse: an error that says why, no output, no crash."""
    failures = 0
    head = (b"# vtk DataFile Version 2.0\nOutput from voxeven\nBINARY\nDIMENSIONS  16 8 4\n"
            b"SPACING  1 1 1\nORIGIN  0 0 0\nPOINT_DATA  512\nSCALARS scalars  unsigned_short\n"
            b"LOOKUP_TABLE default\n")
    cases = [
        ("too few samples", head + b"\0" * 1023, "expected 1024 bytes (512 points x 2 bytes of "
         "unsigned_short), found 1023 (too few)"),
        ("no layout", b"hello\n", "not in the legacy layout"),
        ("no dimensions", head.replace(b"DIMENSIONS  16 8 4\n", b""), "DIMENSIONS"),
        ("points disagree", head.replace(b"512", b"500") + b"\0" * 1000,
         "POINT_DATA is 500, expected 512"),
        ("missing reference", head.replace(b"BINARY\n", b"BINARY_FILE gone.raw\n"),
         "the referenced file gone.raw is not found"),
        ("no file", None, "cannot be opened"),
    ]
    for name, data, why in cases:
        path = write(folder, "bad.vtk", data) if data is not None else folder + "/none.vtk"
        reader, errors = read(path)
        out = reader.GetOutput()
        empty = out is None or out.GetNumberOfPoints() == 0
        bad = not empty or not any(why in m for m in errors)
        print(("FAIL " if bad else "ok   ") + "refused, %s: %s" % (name, errors[:1]))
        failures += bool(bad)
    return failures


def check_claims(folder):
    """The reader claims the files without a DATASET line, and no other."""
    failures = 0
    path, _ = make(folder, ROWS[0])
    standard = write(folder, "standard.vtk",
                     b"# vtk DataFile Version 3.0\nt\nASCII\nDATASET STRUCTURED_POINTS\n"
                     b"DIMENSIONS 2 1 1\nSPACING 1 1 1\nORIGIN 0 0 0\nPOINT_DATA 2\n"
                     b"SCALARS s float\nLOOKUP_TABLE default\n1 2\n")
    reader = vox.vtkVoxReader()
    for name, want in [(path, 1), (standard, 0), (write(folder, "x.txt", b"text\n"), 0),
                       (folder + "/none.vtk", 0)]:
        got = reader.CanReadFile(name)
        print(("FAIL " if got != want else "ok   ") + "claims %s: %d" % (os.path.basename(name),
                                                                        got))
        failures += got != want
    return failures


def main():
    with tempfile.TemporaryDirectory() as folder:
        failures = (check_rows(folder) + check_parts(folder) + check_refused(folder) +
                    check_claims(folder))
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
