"""The plugin in pvpython: OpenDataFile picks it for every kind of file the converters write and
ParaView's own reader for a standard file, the proxy's ByteOrder reaches the reader, a file it
must refuse gives an error and no output, and the module imports as the package "vox". The
proxy's SampleRate, VOI and MemoryMap reach the reader, and Extract Subset downstream makes it
read the rows of its box alone.

Usage: pvpython paraview_test.py VOXAXIS VOXEVEN VOXSLAB (with the plugin on PV_PLUGIN_PATH and
the package on PYTHONPATH)"""
import os
import struct
import subprocess
import sys
import tempfile

import numpy
from paraview.simple import ExtractSubset, OpenDataFile
from vtkmodules.util.numpy_support import vtk_to_numpy

import vox

VOXAXIS, VOXEVEN, VOXSLAB = sys.argv[1:4]
NX, NY, NZ = 8, 4, 3
VALUES = [7 * i + 3 for i in range(NX * NY * NZ)]
ZS = [0.0, 1.5, 4.0]

# One row a file: converter and grid arguments, encoding, the proxy's ByteOrder, the order the
# samples are written in, the data class expected.
ROWS = [
    ("uniform", VOXEVEN, ["1", "1", "2", "0", "0", "-1"], "BINARY", 0, ">", "vtkImageData"),
    ("uniform little", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "BINARY", 1, "<",
     "vtkImageData"),
    ("uniform judged", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "BINARY", 2, "<",
     "vtkImageData"),
    ("uniform ascii", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "ASCII", 0, None, "vtkImageData"),
    ("rectilinear", VOXAXIS, ["x", "y", "z"], "BINARY", 0, ">", "vtkRectilinearGrid"),
    ("rectilinear ascii", VOXAXIS, ["x", "y", "z"], "ASCII", 0, None, "vtkRectilinearGrid"),
    ("slice stack", VOXSLAB, ["1", "1", "0", "0", "z"], "BINARY", 0, ">", "vtkRectilinearGrid"),
    ("reference", VOXEVEN, ["1", "1", "1", "0", "0", "0"], "BINARY_FILE", 0, ">",
     "vtkImageData"),
]


def output(reader):
    """The reader's own output. (servermanager.Fetch is not used: in ParaView 5.11 it garbles
    the coordinates of any rectilinear grid, its own legacy reader's too.)"""
    return reader.GetClientSideObject().GetOutputDataObject(0)


def check_rows():
    failures = 0
    for number, (name, program, grid, encoding, order, written, cls) in enumerate(ROWS):
        with open("s.raw", "wb") as f:
            if written:
                f.write(struct.pack(written + "%dH" % len(VALUES), *VALUES))
            else:
                f.write(" ".join(map(str, VALUES)).encode() + b"\n")
        for axis, values in (("x", range(NX)), ("y", range(NY)), ("z", ZS)):
            with open(axis, "wb") as f:
                if encoding == "ASCII":
                    f.write(" ".join(map(str, values)).encode() + b"\n")
                else:
                    f.write(struct.pack(">%df" % len(values), *values))
        path = os.path.abspath(name.replace(" ", "_") + ".vtk")
        subprocess.run([program, "s.raw", path, str(NX), str(NY), str(NZ)] + grid +
                       ["unsigned_short", encoding], check=True)
        reader = OpenDataFile(path)
        problems = []
        if reader is None or reader.GetXMLName() != "VoxReader":
            problems.append("reader %s" % (reader and reader.GetXMLName()))
        else:
            reader.ByteOrder = order
            # Every other row on three threads, its memory advised to huge pages, as the
            # advanced properties set them.
            if number % 2:
                reader.NumberOfThreads = 3
                reader.HugePages = 1
            reader.UpdatePipeline()
            data = output(reader)
            scalars = data.GetPointData().GetScalars()
            got = [scalars.GetValue(i) for i in range(scalars.GetNumberOfValues())]
            if data.GetClassName() != cls or data.GetDimensions() != (NX, NY, NZ):
                problems.append("%s %s" % (data.GetClassName(), data.GetDimensions()))
            if got != VALUES or reader.PointData.keys() != ["scalars"]:
                problems.append("values %s... of %s" % (got[:4], reader.PointData.keys()))
            if cls == "vtkRectilinearGrid":
                z = data.GetZCoordinates()
                if [z.GetValue(i) for i in range(z.GetNumberOfValues())] != ZS:
                    problems.append("z coordinates")
            elif data.GetSpacing()[2] != (2 if name == "uniform" else 1):
                problems.append("spacing %s" % (data.GetSpacing(),))
            reader.UpdatePropertyInformation()
            read = reader.GetPropertyValue("SampleBytesRead")
            if encoding != "ASCII" and read != 2 * len(VALUES):
                problems.append("%s sample bytes read" % read)
        print(("FAIL " if problems else "ok   ") + name + ": " + "; ".join(problems))
        failures += bool(problems)
    return failures


def check_others():
    failures = 0
    # A standard file goes to ParaView's own reader; a converter's file the plugin must refuse
    # (it names 4 points, holds 3) gives an error and an empty output.
    with open("standard.vtk", "wb") as f:
        f.write(b"# vtk DataFile Version 3.0\nt\nASCII\nDATASET STRUCTURED_POINTS\n"
                b"DIMENSIONS 2 1 1\nSPACING 1 1 1\nORIGIN 0 0 0\nPOINT_DATA 2\n"
                b"SCALARS s float\nLOOKUP_TABLE default\n1 2\n")
    with open("short.vtk", "wb") as f:
        f.write(b"# vtk DataFile Version 2.0\nt\nASCII\nDIMENSIONS  2 2 1\nSPACING  1 1 1\n"
                b"ORIGIN  0 0 0\nPOINT_DATA 4\nSCALARS scalars float\nLOOKUP_TABLE default\n"
                b"1 2 3\n")
    reader = OpenDataFile(os.path.abspath("standard.vtk"))
    name = reader.GetXMLName() if reader is not None else None
    bad = name in (None, "VoxReader")
    print(("FAIL " if bad else "ok   ") + "standard file: " + str(name))
    failures += bad

    errors = []
    reader = OpenDataFile(os.path.abspath("short.vtk"))
    algorithm = reader.GetClientSideObject()
    algorithm.AddObserver("ErrorEvent", lambda caller, event: errors.append(event))
    algorithm.GetExecutive().AddObserver("ErrorEvent", lambda caller, event: errors.append(event))
    reader.UpdatePipeline()
    points = output(reader).GetNumberOfPoints() if output(reader) is not None else 0
    bad = reader.GetXMLName() != "VoxReader" or not errors or points != 0
    print(("FAIL " if bad else "ok   ") + "refused: %d errors, %d points" % (len(errors), points))
    failures += bad

    # The module as a Python package, used directly as in VTK.
    direct = vox.vtkVoxReader()
    direct.SetFileName(os.path.abspath("uniform.vtk"))
    direct.Update()
    bad = direct.GetOutput().GetNumberOfPoints() != NX * NY * NZ
    print(("FAIL " if bad else "ok   ") + "vox.vtkVoxReader in pvpython")
    failures += bad
    return failures


def check_selection():
    """SampleRate, VOI and MemoryMap through the proxy, and Extract Subset after them: the
    values numpy's view of the same bytes, sliced, and only the rows of the subset read."""
    failures = 0
    nx, ny, nz = 64, 48, 40
    numpy.arange(nx * ny * nz, dtype="<u2").tofile("big.raw")
    # The title names the program as it was called: called by a name of fixed length, the
    # samples start at the same byte wherever the build lies, an even one, which the mapped
    # rows need.
    os.symlink(VOXEVEN, "voxeven")
    subprocess.run(["./voxeven", "big.raw", "big.vtk", str(nx), str(ny), str(nz), "1", "1", "1",
                    "0", "0", "0", "unsigned_short", "BINARY"], check=True)
    offset = os.path.getsize("big.vtk") - 2 * nx * ny * nz
    if offset % 2:
        print("FAIL the samples start at byte %d, where no two-byte value can be mapped" % offset)
        return 1
    view = numpy.memmap("big.vtk", dtype="<u2", mode="r", offset=offset, shape=(nz, ny, nx))
    # One row a pipeline: the reader's VOI and SampleRate, Extract Subset's VOI (of the
    # reader's output) or none, MemoryMap, and the samples it gives as numpy slices them.
    rows = [
        ("rate", [0, 99, 0, 99, 0, 99], [1, 2, 2], None, 0, view[::2, ::2, :]),
        ("box", [3, 60, 10, 20, 5, 5], [1, 1, 1], None, 0, view[5:6, 10:21, 3:61]),
        ("rate, then a subset", [0, 99, 0, 99, 0, 99], [1, 2, 2], [0, 63, 3, 10, 5, 9], 0,
         view[10:19:2, 6:21:2, :]),
        # The reader's extent: x from 8 / 4 = 2, z from 4 / 3 = 1; x 3 is input 8 + 1 * 4.
        ("box and rate, then a subset", [8, 63, 0, 47, 4, 39], [4, 1, 3], [3, 9, 0, 2, 2, 4], 0,
         view[7:14:3, 0:3, 12:37:4]),
        ("mapped slices", [0, 99, 0, 99, 12, 13], [1, 1, 1], None, 1, view[12:14]),
        ("mapped, then a subset of slices", [0, 99, 0, 99, 0, 99], [1, 1, 1],
         [0, 63, 0, 47, 30, 31], 1, view[30:32]),
    ]
    for name, voi, rate, subset, mapped, want in rows:
        reader = OpenDataFile(os.path.abspath("big.vtk"))
        reader.ByteOrder = 1
        reader.VOI = voi
        reader.SampleRate = rate
        reader.MemoryMap = mapped
        last = reader
        if subset is not None:
            last = ExtractSubset(Input=reader, VOI=subset)
        last.UpdatePipeline()
        data = last.GetClientSideObject().GetOutputDataObject(0)
        got = vtk_to_numpy(data.GetPointData().GetScalars())
        reader.UpdatePropertyInformation()
        read = reader.GetPropertyValue("SampleBytesRead")
        # The rows of the samples given, each from its first sample to its last.
        rows_read = want.shape[0] * want.shape[1] * ((want.shape[2] - 1) * rate[0] + 1) * 2
        problems = []
        if got.shape != (want.size,) or not (got == want.ravel()).all():
            problems.append("values %s... not %s..." % (got[:3], want.ravel()[:3]))
        if reader.GetPropertyValue("SamplesMapped") != mapped:
            problems.append("mapped %s" % reader.GetPropertyValue("SamplesMapped"))
        if read != (0 if mapped else rows_read):
            problems.append("%d sample bytes read, not %d" % (read, rows_read))
        print(("FAIL " if problems else "ok   ") + "%s: %s" % (name, "; ".join(problems) or
                                                            "%d bytes read" % read))
        failures += bool(problems)
    return failures


def main():
    with tempfile.TemporaryDirectory() as folder:
        os.chdir(folder)
        failures = check_rows() + check_others() + check_selection()
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
