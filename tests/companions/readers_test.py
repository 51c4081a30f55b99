#!/usr/bin/python3
"""Companion headers opened by the real readers: one row a case.

    /usr/bin/python3 readers_test.py BUILD [--itk ITK_READ] [--hand-written] [--large]
                                          [--only TEXT] [--readers LABELS] [--keep FOLDER]

Each row converts a volume of known values with voxeven, voxaxis or voxslab from BUILD, has
voxlink (BUILD/voxlink/voxlink) write its companions, and opens each with every reader that
applies and is installed, comparing dimensions, grid lines and every value with the samples the
volume was made from:

    .mhd    ITK (ITK_READ, built from this folder), VTK's vtkMetaImageReader (with python3-vtk9,
            or ParaView's copy of VTK with python3-paraview) and ParaView's MetaImage reader
    .nhdr   ITK and teem's unu
    .xmf    ParaView's Xdmf3ReaderS and XDMFReader

pvpython runs with no plugin (PV_PLUGIN_PATH unset). A reader that is not installed is skipped
with a message. A row names the formats voxlink must write for its file (given no output name,
it must write those and no other), and whether they go to another folder (voxlink given their
names there) and are opened from a third one, or lie beside the file and are opened from there
by their bare names.

With --hand-written the companions come from the texts in this file instead (those that the
readers were found to accept), and the rows marked as faults must be refused by every reader:
a check of the readers and of the drivers, without voxlink. --large adds the rows past 4 GiB
(about 5 GiB of disk and 9 GiB of memory, some minutes). The last line counts the cases.
"""

import argparse
import contextlib
import dataclasses
import html
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # Debian's, where python3-numpy and python3-vtk9 install
ALL = ("xmf", "mhd", "nhdr")
NUMPY = {"unsigned_char": "u1", "char": "i1", "short": "i2", "unsigned_short": "u2",
         "int": "i4", "unsigned_int": "u4", "long": "i8", "unsigned_long": "u8",
         "float": "f4", "double": "f8"}


@dataclasses.dataclass
class Row:
    name: str
    program: str          # voxeven, voxaxis or voxslab
    type: str
    order: str            # byte order of the samples: big or little
    dims: tuple
    grid: tuple           # voxeven: spacing, origin; voxaxis: x, y, z; voxslab: spacing, origin, z
    formats: tuple        # what voxlink writes for the file
    option: str = None    # --byte-order=...; None: none given
    encoding: str = "BINARY"
    values: str = "extremes"  # or smooth (for --byte-order=auto)
    elsewhere: bool = False   # companions in another folder, opened from a third one
    large: bool = False
    fault: str = None     # hand-written only: what is wrong in the companions
    coordinates: str = "big"  # byte order of the coordinate files given to the converter
    stem: str = "volume"  # the name of the converted file and its companions, less the extension


EVEN = ((0.5, 1, 2), (-1, 0, 3))
ROWS = [
    Row("even ushort big", "voxeven", "unsigned_short", "big", (6, 5, 4), EVEN, ALL, "big"),
    Row("even float little", "voxeven", "float", "little", (5, 4, 3),
        ((0.25, 1.5, 2), (-7.5, 0, 100)), ALL, "little", elsewhere=True),
    Row("even uchar", "voxeven", "unsigned_char", "big", (7, 3, 2), EVEN, ALL),
    Row("even char", "voxeven", "char", "little", (4, 4, 4), EVEN, ALL),
    Row("even short little", "voxeven", "short", "little", (6, 5, 4), EVEN, ALL, "little"),
    Row("even int auto", "voxeven", "int", "little", (16, 12, 8), EVEN, ALL, "auto",
        values="smooth"),
    Row("even uint big", "voxeven", "unsigned_int", "big", (6, 5, 4), EVEN, ALL, "big"),
    Row("even double auto", "voxeven", "double", "big", (16, 12, 8), ((1e-3, 2e-3, 0.5),
        (1e5, -1e5, 0)), ALL, "auto", values="smooth"),
    # MetaImage's 8-byte types crash VTK 9.1 and ParaView 5.11; XDMF has no 8-byte unsigned.
    Row("even long big", "voxeven", "long", "big", (6, 5, 4), EVEN, ("xmf", "nhdr"), "big"),
    Row("even ulong little", "voxeven", "unsigned_long", "little", (6, 5, 4), EVEN, ("nhdr",),
        "little"),
    Row("reference short big", "voxeven", "short", "big", (6, 5, 4), EVEN, ALL, "big",
        encoding="BINARY_FILE"),
    Row("reference double little", "voxeven", "double", "little", (5, 4, 3), EVEN, ALL,
        "little", encoding="BINARY_FILE", elsewhere=True),
    Row("axis int big", "voxaxis", "int", "big", (5, 4, 3),
        ((-7.5, -7.25, -6.5, 0, 100.125), (0, 1.5, 3, 10), (100, 102, 110.5)), ("xmf",), "big"),
    # Coordinates written big-endian under little-endian samples: each judged on its own.
    Row("axis float little", "voxaxis", "float", "little", (3, 2, 4),
        ((0, 0.5, 1.5), (0, 1), (0, 1, 2, 4)), ("xmf",), "auto", values="smooth",
        elsewhere=True),
    # Coordinates copied little-endian as they came, declared so.
    Row("axis float little coordinates", "voxaxis", "float", "little", (3, 2, 4),
        ((0, 0.5, 1.5), (0, 1), (0, 1, 2, 4)), ("xmf",), "little", coordinates="little"),
    # Names that XML escapes, as the data file's and as the companions'.
    Row("even names XML escapes", "voxeven", "unsigned_short", "big", (6, 5, 4), EVEN, ALL,
        stem="v&w\"x'<y>"),
    Row("slab equal uchar", "voxslab", "unsigned_char", "big", (5, 4, 6),
        ((0.25, 1.5), (-7.5, 0), (10, 12.5, 15, 17.5, 20, 22.5)), ALL),
    Row("slab unequal short little", "voxslab", "short", "little", (64, 16, 3),
        ((0.25, 1.5), (-7.5, 0), (100, 102, 110.5)), ("xmf",), "auto", values="smooth"),
    Row("slab unequal ushort auto", "voxslab", "unsigned_short", "big", (16, 12, 5),
        ((1, 1), (0, 0), (0, 1, 2, 4, 8)), ("xmf",), "auto", values="smooth", elsewhere=True),
    # Text samples: MetaImage (BinaryData = False) and NRRD (encoding: ascii) read them in
    # place; XDMF cannot.
    Row("ascii short", "voxeven", "short", "little", (6, 5, 4), EVEN, ("mhd", "nhdr"),
        encoding="ASCII"),
    Row("ascii float", "voxeven", "float", "little", (6, 5, 4), EVEN, ("mhd", "nhdr"),
        encoding="ASCII", values="smooth"),
    # Past 4 GiB: the last sample lies beyond byte 2^32. No XDMF companion: from 2^31 values on
    # XDMFReader gives no array (past 2^32, zeros at the end), and Xdmf3ReaderS crashes past
    # 2^32 (and reads some 200,000 values a second).
    Row("large uchar", "voxeven", "unsigned_char", "big", (65536, 65537, 1), ((1, 1, 1),
        (0, 0, 0)), ("mhd", "nhdr"), large=True),
    Row("large reference uchar", "voxeven", "unsigned_char", "big", (65536, 65537, 1),
        ((1, 1, 1), (0, 0, 0)), ("mhd", "nhdr"), encoding="BINARY_FILE", large=True),
]
# Hand-written companions with a fault that every reader must show.
FAULTS = [
    Row("fault: byte order", "voxeven", "short", "big", (6, 5, 4), EVEN, ALL, fault="order"),
    Row("fault: offset", "voxeven", "int", "little", (6, 5, 4), EVEN, ALL, fault="offset"),
    Row("fault: axes swapped", "voxeven", "float", "big", (6, 5, 4), EVEN, ALL,
        fault="axes"),
    Row("fault: space", "voxeven", "unsigned_short", "big", (6, 5, 4), EVEN, ("nhdr",),
        fault="space"),
    Row("fault: rectilinear z", "voxslab", "short", "big", (5, 4, 3),
        ((0.25, 1.5), (-7.5, 0), (100, 102, 110.5)), ("xmf",), fault="axes"),
]


# --- Samples and conversion ------------------------------------------------------------------

def make_values(row):
    count = row.dims[0] * row.dims[1] * row.dims[2]
    dtype = np.dtype(NUMPY[row.type])
    if row.large:  # sparse: zeros with a mark at either end
        return None
    if row.values == "smooth":
        z, y, x = np.meshgrid(*(np.linspace(0, 1, n) for n in row.dims[::-1]), indexing="ij")
        field = np.sin(3 * x + 2 * y + z).reshape(-1)
        top = 1000.0 if dtype.kind == "f" else min(np.iinfo(dtype).max / 2, 1e6)
        field = field * top if dtype.kind in "fi" else (field + 1) * top / 2
        return field.astype(dtype)
    rng = np.random.default_rng(len(row.name))
    if dtype.kind in "iu":
        info = np.iinfo(dtype)
        values = rng.integers(info.min, info.max, size=count, dtype=dtype, endpoint=True)
        values[:3] = [info.min, info.max, 0]
    else:
        values = (rng.standard_normal(count) * 1e3).astype(dtype)
        if row.encoding == "ASCII":  # text NaN and infinities are not read by every reader
            values[:2] = [np.finfo(dtype).max, np.finfo(dtype).tiny]
        else:
            values[:5] = [np.nan, np.inf, -0.0, np.finfo(dtype).smallest_subnormal, -np.inf]
    return values


def write_samples(row, path):
    """Writes the sample file the volume is converted from, in the row's byte order."""
    dtype = np.dtype(NUMPY[row.type]).newbyteorder(">" if row.order == "big" else "<")
    values = make_values(row)
    if values is None:
        size = row.dims[0] * row.dims[1] * row.dims[2] * dtype.itemsize
        with open(path, "wb") as file:
            file.truncate(size)
            file.write(b"\x33")
            file.seek(size - 1)
            file.write(b"\x5a")
    else:
        values.astype(dtype).tofile(path)
    return path


def floats(path, values, order="big"):
    np.array(values, dtype=">f4" if order == "big" else "<f4").tofile(path)
    return path


def given(row, path, values):
    """A coordinate file for the converter in the row's order, beside the big-endian one at
    path that the drivers compare with."""
    floats(path, values)
    if row.coordinates == "big":
        return path
    return floats(path + ".little", values, "little")


def convert(row, build, folder):
    """Converts in folder/data (the converter runs in folder); returns FILE and the axes."""
    os.makedirs(os.path.join(folder, "data"))
    raw = write_samples(row, os.path.join(folder, "data", "samples.raw"))
    sample_file = raw
    if row.encoding == "ASCII":
        sample_file = os.path.join(folder, "data", "samples.txt")
        values = np.fromfile(raw, dtype=("<" if row.order == "little" else ">") +
                             NUMPY[row.type])
        with open(sample_file, "w") as text:
            text.write(" ".join(repr(v.item()) for v in values) + "\n")
    out = os.path.join("data", row.stem + ".vtk")
    relative = os.path.relpath(sample_file, folder)
    dims = [str(n) for n in row.dims]
    if row.program == "voxeven":
        (spacing, origin) = row.grid
        args = [relative, out, *dims, *map(str, spacing), *map(str, origin)]
        axes = [f"{o}:{s}" for o, s in zip(origin, spacing)]
    elif row.program == "voxaxis":
        files = [os.path.join(folder, "data", f"{a}.bin") for a in "xyz"]
        inputs = [given(row, f, v) for f, v in zip(files, row.grid)]
        args = [relative, out, *dims, *(os.path.relpath(f, folder) for f in inputs)]
        axes = ["@" + f for f in files]
    else:
        spacing, origin, z = row.grid
        zfile = os.path.join(folder, "data", "z.bin")
        args = [relative, out, *dims, *map(str, spacing), *map(str, origin),
                os.path.relpath(given(row, zfile, z), folder)]
        axes = [f"{origin[0]}:{spacing[0]}", f"{origin[1]}:{spacing[1]}", "@" + zfile]
    program = os.path.join(build, row.program, row.program)
    subprocess.run([program, *args, row.type, row.encoding], cwd=folder, check=True)
    return os.path.join(folder, out), raw, axes


# --- Companions as written by hand (what the readers were found to accept) -------------------

MET = {"unsigned_char": "MET_UCHAR", "char": "MET_CHAR", "short": "MET_SHORT",
       "unsigned_short": "MET_USHORT", "int": "MET_INT", "unsigned_int": "MET_UINT",
       "long": "MET_LONG_LONG", "unsigned_long": "MET_ULONG_LONG", "float": "MET_FLOAT",
       "double": "MET_DOUBLE"}
NRRD = {"unsigned_char": "uchar", "char": "signed char", "short": "short",
        "unsigned_short": "ushort", "int": "int", "unsigned_int": "uint", "long": "int64",
        "unsigned_long": "uint64", "float": "float", "double": "double"}
XDMF = {"unsigned_char": ("UChar", 1), "char": ("Char", 1), "short": ("Short", 2),
        "unsigned_short": ("UShort", 2), "int": ("Int", 4), "unsigned_int": ("UInt", 4),
        "long": ("Int", 8), "float": ("Float", 4), "double": ("Float", 8)}


def layout(row, path):
    """Where the samples and grid payloads lie in a converted file, walking its lines:
    (sample file named in reference mode or None, offset of the samples, {keyword: offset})."""
    payloads = {}
    with open(path, "rb") as file:
        while line := file.readline():
            words = line.split()
            if words[0] == b"BINARY_FILE":
                return line[len(b"BINARY_FILE "):-1].decode(), 0, payloads
            if words[0] in (b"X_COORDINATES", b"Y_COORDINATES", b"Z_COORDINATES",
                            b"LOCATIONS"):
                payloads[words[0]] = file.tell()
                file.seek(4 * int(words[1]), os.SEEK_CUR)  # big-endian floats
            if words[0] == b"LOOKUP_TABLE":
                return None, file.tell(), payloads
    raise ValueError(f"{path}: no LOOKUP_TABLE line")


def hand_written(row, vtk_path, folder):
    """Writes the companions of the row into folder; returns their paths."""
    data_file, offset, payloads = layout(row, vtk_path)
    if data_file:  # named from the folder the converter ran in
        ran_in = os.path.dirname(os.path.dirname(vtk_path))
        data_file = os.path.relpath(os.path.join(ran_in, data_file), folder)
    else:
        data_file = os.path.relpath(vtk_path, folder)
    big = row.order == "big"
    if row.fault == "order":
        big = not big
    if row.fault == "offset":
        offset += np.dtype(NUMPY[row.type]).itemsize
    nx, ny, nz = row.dims
    if row.program == "voxslab":
        (sx, sy), (ox, oy), z = row.grid
        steps = np.diff(np.array(z, dtype=np.float32))
        uniform = (sx, sy, float(steps[0]) if len(z) > 1 else 1.0), (ox, oy, z[0])
        if len(set(steps.tolist())) > 1:
            uniform = None
    elif row.program == "voxeven":
        uniform = row.grid
    else:
        uniform = None
    written = []
    base = os.path.join(folder, row.stem)
    if "mhd" in row.formats:
        (sx, sy, sz), (ox, oy, oz) = uniform
        if row.fault == "axes":
            (sx, sz), (ox, oz) = (sz, sx), (oz, ox)
        text = ["ObjectType = Image", "NDims = 3"]
        if row.encoding == "ASCII":
            text += ["BinaryData = False"]  # the values as they stand: no byte order
        else:
            text += ["BinaryData = True", f"BinaryDataByteOrderMSB = {big}"]
        text += ["CompressedData = False", f"DimSize = {nx} {ny} {nz}",
                 f"ElementSpacing = {sx} {sy} {sz}", f"Offset = {ox} {oy} {oz}",
                 "ElementNumberOfChannels = 1", f"ElementType = {MET[row.type]}",
                 # Past 2^31 - 1 MetaIO misreads the offset; -1: the samples end the file.
                 f"HeaderSize = {offset if offset < 2**31 else -1}",
                 f"ElementDataFile = {data_file}"]
        written.append(write(base + ".mhd", text))
    if "nhdr" in row.formats:
        (sx, sy, sz), (ox, oy, oz) = uniform
        if row.fault == "axes":
            (sx, sz), (ox, oz) = (sz, sx), (oz, ox)
        space = "right-anterior-superior" if row.fault == "space" else "left-posterior-superior"
        text = ["NRRD0004", f"type: {NRRD[row.type]}", "dimension: 3", f"space: {space}",
                f"sizes: {nx} {ny} {nz}",
                f"space directions: ({sx},0,0) (0,{sy},0) (0,0,{sz})",
                f"space origin: ({ox},{oy},{oz})", "kinds: domain domain domain"]
        if row.encoding == "ASCII":
            text += ["encoding: ascii"]
        else:
            text += [f"endian: {'big' if big else 'little'}", "encoding: raw"]
        text += [f"byte skip: {offset}", f"data file: {data_file}"]
        written.append(write(base + ".nhdr", text))
    if "xmf" in row.formats:
        written.append(write(base + ".xmf", xdmf(row, uniform, data_file, offset, payloads,
                                                 big)))
    return written


def xdmf(row, uniform, data_file, offset, payloads, big):
    nx, ny, nz = row.dims
    number, precision = XDMF[row.type]

    lines_endian = "Little" if row.coordinates == "little" else "Big"

    def item(dims, number, precision, seek, endian=lines_endian):
        return (f'<DataItem Dimensions="{dims}" NumberType="{number}" Precision="{precision}" '
                f'Format="Binary" Endian="{endian}" Seek="{seek}">{html.escape(data_file)}'
                '</DataItem>')

    def inline(values):
        return (f'<DataItem Dimensions="{len(values)}" NumberType="Float" Precision="8" '
                f'Format="XML">{" ".join(repr(float(v)) for v in values)}</DataItem>')

    if row.program == "voxeven":
        (sx, sy, sz), (ox, oy, oz) = uniform
        if row.fault == "axes":  # ORIGIN_DXDYDZ in x, y, z order instead of z, y, x
            oz, ox, sz, sx = ox, oz, sx, sz
        topology = f'<Topology TopologyType="3DCoRectMesh" Dimensions="{nz} {ny} {nx}"/>'
        geometry = ['<Geometry GeometryType="ORIGIN_DXDYDZ">', inline((oz, oy, ox)),
                    inline((sz, sy, sx)), "</Geometry>"]
    else:
        topology = f'<Topology TopologyType="3DRectMesh" Dimensions="{nz} {ny} {nx}"/>'
        if row.program == "voxaxis":
            lines = [item(n, "Float", 4, payloads[key]) for n, key in
                     zip(row.dims, (b"X_COORDINATES", b"Y_COORDINATES", b"Z_COORDINATES"))]
        else:
            (sx, sy), (ox, oy), _ = row.grid
            z = payloads[b"LOCATIONS"] + (4 if row.fault == "axes" else 0)
            lines = [inline(ox + sx * np.arange(nx)), inline(oy + sy * np.arange(ny)),
                     item(nz, "Float", 4, z)]
        geometry = ['<Geometry GeometryType="VXVYVZ">', *lines, "</Geometry>"]
    return ['<?xml version="1.0" ?>', '<Xdmf Version="2.0">', "<Domain>",
            '<Grid Name="volume" GridType="Uniform">', topology, *geometry,
            '<Attribute Name="scalars" AttributeType="Scalar" Center="Node">',
            item(f"{nz} {ny} {nx}", number, precision, offset, "Big" if big else "Little"),
            "</Attribute>", "</Grid>",
            "</Domain>", "</Xdmf>"]


def write(path, lines):
    with open(path, "w") as file:
        file.write("\n".join(lines) + "\n")
    return path


# --- Readers ---------------------------------------------------------------------------------

class Readers:
    """The reader drivers that can run here, for each format."""

    def __init__(self, itk, chosen=None):
        self.env = {k: v for k, v in os.environ.items() if k != "PV_PLUGIN_PATH"}
        pvpython = shutil.which("pvpython")
        vtk = subprocess.run([PYTHON, "-c", "import vtkmodules.vtkIOImage"],
                             capture_output=True).returncode == 0
        unu = shutil.which("teem-unu")
        itk = itk if itk and os.access(itk, os.X_OK) else None
        vtk_read, teem_read = (os.path.join(HERE, f) for f in ("vtk_read.py", "teem_read.py"))
        paraview = [pvpython, vtk_read] if pvpython else None
        self.table = {
            "mhd": [("ITK", [itk] if itk else None, "--itk ITK_READ not given or not built"),
                    # VTK 9.1 with python3-vtk9; with python3-paraview, ParaView's VTK 9.2
                    ("VTK", [PYTHON, vtk_read, "vtkMetaImageReader"] if vtk else None,
                     "python3-vtk9 or python3-paraview"),
                    ("ParaView", paraview and paraview + ["MetaFileSeriesReader"], "pvpython")],
            "nhdr": [("ITK", [itk] if itk else None, "--itk ITK_READ not given or not built"),
                     ("unu", [PYTHON, teem_read] if unu else None, "teem-unu (teem-apps)")],
            "xmf": [("Xdmf3ReaderS", paraview and paraview + ["Xdmf3ReaderS"], "pvpython"),
                    ("XDMFReader", paraview and paraview + ["XDMFReader"], "pvpython")],
        }
        for format, readers in self.table.items():
            if chosen:
                readers = self.table[format] = [r for r in readers if r[0] in chosen]
            for label, command, needs in readers:
                if command is None:
                    print(f"skipping {label} for .{format}: not installed here (needs {needs})")


class Tally:
    def __init__(self):
        self.counts = {"passed": 0, "failed": 0, "skipped": 0}

    def add(self, outcome, what, detail=""):
        self.counts[outcome] += 1
        mark = {"passed": "ok  ", "failed": "FAIL", "skipped": "skip"}[outcome]
        print(f"{mark} {what}" + (f": {detail}" if detail else ""), flush=True)

    def done(self):
        """Prints the counts; the exit status: 1 when a case failed."""
        c = self.counts
        print(f"{c['passed']} passed, {c['failed']} failed, {c['skipped']} skipped")
        return 1 if c["failed"] else 0


@contextlib.contextmanager
def scratch_folder(keep, prefix):
    """The folder a run works in: `keep`, made if need be and left behind, or else a new
    temporary one, removed at the end."""
    path = os.path.abspath(keep or tempfile.mkdtemp(prefix=prefix))
    os.makedirs(path, exist_ok=True)
    try:
        yield path
    finally:
        if not keep:
            shutil.rmtree(path)


def companion_format(path):
    ext = os.path.splitext(path)[1][1:]
    return "xmf" if ext == "xdmf" else ext


def uniform_word(word):
    """ORIGIN:SPACING for an axis given as a file of equally spaced lines (itk_read's form)."""
    if not word.startswith("@"):
        return word
    lines = np.fromfile(word[1:], dtype=">f4").astype(np.float64)
    return f"{lines[0]!r}:{(lines[1] - lines[0]) if lines.size > 1 else 1.0!r}"


def run_row(row, build, scratch, readers, tally, hand):
    folder = os.path.join(scratch, row.name.replace(" ", "-").replace(":", ""))
    os.makedirs(folder)
    vtk, raw, axes = convert(row, build, folder)
    links = os.path.join(folder, "links" if row.elsewhere else "data")
    os.makedirs(links, exist_ok=True)
    if hand:
        companions = hand_written(row, vtk, links)
    else:
        voxlink = os.path.join(build, "voxlink", "voxlink")
        option = [f"--byte-order={row.option}"] if row.option else []
        outputs = [os.path.relpath(os.path.join(links, f"{row.stem}.{f}"), folder)
                   for f in row.formats] if row.elsewhere else []
        done = subprocess.run([voxlink, *option, os.path.relpath(vtk, folder), *outputs],
                              cwd=folder, capture_output=True, text=True)
        companions = sorted(os.path.join(links, f) for f in os.listdir(links)
                            if companion_format(f) in ALL)
        written = sorted(companion_format(c) for c in companions)
        if done.returncode != 0 or written != sorted(row.formats):
            tally.add("failed", f"{row.name}: voxlink",
                      f"exit status {done.returncode}, wrote {written or 'nothing'} for "
                      f"{sorted(row.formats)}: {done.stderr.strip()}")
        else:
            tally.add("passed", f"{row.name}: voxlink wrote {' '.join(written)}")
        # The others may crash a reader (a crashed pvpython waits until the timeout).
        companions = [c for c in companions if companion_format(c) in row.formats]
    # Opened by bare name from their own folder, or from a third folder by a relative path.
    cwd = os.path.join(folder, "other") if row.elsewhere else links
    os.makedirs(cwd, exist_ok=True)
    words = [raw, row.type, row.order, "1", *map(str, row.dims), *axes]
    for companion in companions:
        name = os.path.relpath(companion, cwd)
        for label, command, _ in readers.table[companion_format(companion)]:
            what = f"{row.name}: {os.path.basename(companion)} in {label}"
            if command is None:
                tally.add("skipped", what, "not installed")
                continue
            # Xdmf3ReaderS joins a bare name and the data file's without a slash: "./" it.
            opened = "./" + name if label == "Xdmf3ReaderS" and "/" not in name else name
            given = [uniform_word(w) for w in words] if label == "ITK" else words
            try:
                done = subprocess.run([*command, opened, *given], cwd=cwd, env=readers.env,
                                      capture_output=True, text=True,
                                      timeout=1800 if row.large else 120)
                status, said = done.returncode, (done.stderr.strip() or done.stdout.strip())
            except subprocess.TimeoutExpired:
                status, said = None, "timed out (a crashed pvpython waits for ever)"
            said = said.splitlines()[-1] if said else ""
            if row.fault:
                refused = status not in (0, None)
                tally.add("passed" if refused else "failed", what,
                          f"refused as it should: {said}" if refused else
                          f"not refused: {said}")
            elif status == 0:
                tally.add("passed", what)
            else:
                tally.add("failed", what, f"exit status {status}: {said}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="the build folder with the converters and voxlink")
    parser.add_argument("--itk", help="itk_read, built from this folder's CMakeLists.txt")
    parser.add_argument("--hand-written", action="store_true",
                        help="the companions written here, and the rows with faults")
    parser.add_argument("--large", action="store_true", help="the rows past 4 GiB as well")
    parser.add_argument("--only", help="the rows whose name holds this text")
    parser.add_argument("--readers", help="these readers alone, by label, comma-separated: "
                        "ITK, VTK, ParaView, unu, Xdmf3ReaderS, XDMFReader")
    parser.add_argument("--keep", help="work in this (new) folder and leave it")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    tally = Tally()
    rows = ROWS + (FAULTS if args.hand_written else [])
    rows = [r for r in rows if (args.large or not r.large) and
            (not args.only or args.only in r.name)]
    if not args.hand_written and not os.access(os.path.join(build, "voxlink", "voxlink"),
                                               os.X_OK):
        print(f"skipping: {build}/voxlink/voxlink is not built")
        for row in rows:
            tally.add("skipped", row.name, "no voxlink")
    else:
        readers = Readers(args.itk and os.path.abspath(args.itk),
                          args.readers and args.readers.split(","))
        with scratch_folder(args.keep, "vox-companions-") as scratch:
            for row in rows:
                run_row(row, build, scratch, readers, tally, args.hand_written)
    return tally.done()


if __name__ == "__main__":
    sys.exit(main())
