"""vtkVoxReader's SampleRate, VOI and MemoryMap, its progress and abort, and a read that never
takes the process down, each value compared with numpy's view of the same bytes: numpy.memmap
with the dtype and offset that voxinfo --json gives, sliced [k0:k1+1:k, j0:j1+1:j, i0:i1+1:i],
and the output's grid lines with those of the input points it comes from.

Runs in Debian's python3 with python3-vtk9 and in pvpython alike.
Usage: sampling_test.py VOXAXIS VOXEVEN VOXSLAB VOXINFO"""
import json
import os
import resource
import subprocess
import sys
import tempfile

import numpy
from vtkmodules.util.numpy_support import vtk_to_numpy
from vtkmodules.vtkCommonCore import vtkCommand

import vtk_reader_test  # its reader with the error messages caught (it takes the same arguments)

VOXAXIS, VOXEVEN, VOXSLAB, VOXINFO = sys.argv[1:5]
NX, NY, NZ = 11, 7, 6
XS = [0.5 * i * i - 3 for i in range(NX)]
YS = [2.0 * i + 1 for i in range(NY)]
ZS = [-4.0, -1.0, 0.0, 2.5, 8.0, 9.0]
WHOLE = [0, NX - 1, 0, NY - 1, 0, NZ - 1]
CODES = {"unsigned_char": "u1", "short": "i2", "unsigned_short": "u2", "int": "i4",
         "float": "f4", "double": "f8"}


def make(folder, name, program, kind="unsigned_short", encoding="BINARY", order=">",
         dims=(NX, NY, NZ)):
    """A converter's file of value n = 7 n + 1 (a ramp, as data are), written in `order`."""
    points = dims[0] * dims[1] * dims[2]
    values = (numpy.arange(points) * 7 + 1) % 251
    if kind in ("float", "double"):
        values = values * 0.25 - 7.5
    raw = os.path.join(folder, name + ".raw")
    if encoding == "ASCII":
        with open(raw, "w") as f:
            f.write("\n".join(repr(v) for v in values.tolist()) + "\n")
    else:
        values.astype(order + CODES[kind]).tofile(raw)
    for axis, lines in (("x", XS), ("y", YS), ("z", ZS)):
        with open(os.path.join(folder, axis), "wb") as f:
            if encoding == "ASCII":
                f.write((" ".join(map(repr, lines)) + "\n").encode())
            else:
                f.write(numpy.array(lines, ">f4").tobytes())
    grid = {VOXEVEN: ["0.5", "2", "3", "-1", "4", "10"], VOXAXIS: ["x", "y", "z"],
            VOXSLAB: ["0.5", "2", "-1", "4", "z"]}[program]
    path = os.path.join(folder, name + ".vtk")
    subprocess.run([program, raw, path] + [str(d) for d in dims] + grid + [kind, encoding],
                   cwd=folder, check=True)
    return path


def numpy_view(path, order=None):
    """The samples as numpy sees the same bytes: dtype and offset from voxinfo --json; for
    ASCII the numbers after voxinfo's offset."""
    info = json.loads(subprocess.run([VOXINFO, "--json", path], capture_output=True,
                                     check=True).stdout)
    samples = info["samples"]
    shape = tuple(reversed(info["dimensions"]))
    if info["encoding"] == "ASCII":
        with open(samples["file"], "rb") as f:
            f.seek(samples["offset"])
            words = f.read().split()[:info["points"]]
        return numpy.array([float(w) for w in words]).reshape(shape), info
    dtype = numpy.dtype(samples["dtype"])
    if order is not None:
        dtype = dtype.newbyteorder(order)
    return numpy.memmap(samples["file"], dtype=dtype, mode="r", offset=samples["offset"],
                        shape=shape), info


def input_lines(info):
    """The positions of the input grid lines along x, y and z."""
    if info["grid"] == "uniform":
        return [info["origin"][a] + info["spacing"][a] * numpy.arange(info["dimensions"][a])
                for a in range(3)]
    if info["grid"] == "rectilinear":
        return [numpy.array(XS), numpy.array(YS), numpy.array(ZS)]
    return [info["origin"][a] + info["spacing"][a] * numpy.arange(info["dimensions"][a])
            for a in range(2)] + [numpy.array(ZS)]


def output_lines(out):
    extent = out.GetExtent()
    if out.IsA("vtkImageData"):
        return [out.GetOrigin()[a] + out.GetSpacing()[a] *
                numpy.arange(extent[2 * a], extent[2 * a + 1] + 1) for a in range(3)]
    return [vtk_to_numpy(c) for c in (out.GetXCoordinates(), out.GetYCoordinates(),
                                      out.GetZCoordinates())]


def read(path, order=None, voi=None, rate=None, extent=None, memory_map=False, threads=0,
         observe=None):
    """The reader after an update, and the error messages it gave."""
    def configure(reader):
        if observe:
            observe(reader)
        if voi is not None:
            reader.SetVOI(*voi)
        if rate is not None:
            reader.SetSampleRate(*rate)
        reader.SetMemoryMap(int(memory_map))
        reader.SetNumberOfThreads(threads)

    return vtk_reader_test.read(path, order, extent, configure=configure)


def compare(reader, errors, view, info, box, rate, bytes_read=None):
    """What differs between the reader's output and numpy's view of the box at the rate."""
    out = reader.GetOutput()
    if errors:
        return ["errors: %s" % errors]
    i0, i1, j0, j1, k0, k1 = box
    want = numpy.asarray(view[k0:k1 + 1:rate[2], j0:j1 + 1:rate[1], i0:i1 + 1:rate[0]])
    problems = []
    extent = out.GetExtent()
    if tuple(extent[1::2][a] - extent[0::2][a] + 1 for a in range(3)) != want.shape[::-1]:
        problems.append("extent %s for %s" % (extent, want.shape[::-1]))
        return problems
    got = vtk_to_numpy(out.GetPointData().GetScalars()).reshape(want.shape)
    if not numpy.allclose(got, want, rtol=1e-6):
        problems.append("values %s... not %s..." % (got.ravel()[:4], want.ravel()[:4]))
    lines = input_lines(info)
    for a, have in enumerate(output_lines(out)):
        expected = lines[a][box[2 * a]:box[2 * a + 1] + 1:rate[a]]
        if not numpy.allclose(have, expected):
            problems.append("axis %d lines %s, not %s" % (a, have, expected))
    bounds = out.GetBounds()
    if not numpy.allclose(bounds, [f(lines[a][box[2 * a]:box[2 * a + 1] + 1:rate[a]])
                                   for a in range(3) for f in (min, max)]):
        problems.append("bounds %s" % (bounds,))
    if bytes_read is not None and reader.GetSampleBytesRead() != bytes_read:
        problems.append("%d sample bytes read, not %d" % (reader.GetSampleBytesRead(),
                                                          bytes_read))
    return problems


def rows_bytes(box, rate, size):
    """The bytes of the rows that hold the samples, each from its first sample to its last."""
    counts = [(box[2 * a + 1] - box[2 * a]) // rate[a] + 1 for a in range(3)]
    return counts[1] * counts[2] * ((counts[0] - 1) * rate[0] + 1) * size


BIG, LITTLE, AUTOMATIC = 0, 1, 2
# One row a read: the file (converter, type, encoding, order written), the ByteOrder set, the
# VOI (None: the default, the whole grid), the rate.
ROWS = [
    ("rate x", VOXEVEN, "unsigned_short", "BINARY", ">", None, None, (3, 1, 1)),
    ("rate y", VOXEVEN, "unsigned_short", "BINARY", ">", None, None, (1, 2, 1)),
    ("rate z", VOXEVEN, "unsigned_short", "BINARY", ">", None, None, (1, 1, 4)),
    ("rates together", VOXEVEN, "short", "BINARY", ">", None, None, (4, 4, 4)),
    ("box at the low edges", VOXEVEN, "int", "BINARY", "<", LITTLE, (-3, 2, 0, 0, 0, 1),
     (1, 1, 1)),
    ("box at the high edges, judged", VOXEVEN, "double", "BINARY", "<", AUTOMATIC,
     (8, 10, 5, 99, 4, 5), (1, 1, 1)),
    ("one sample", VOXEVEN, "float", "BINARY", ">", None, (10, 10, 6, 6, 5, 5), (1, 1, 1)),
    ("box and rate", VOXEVEN, "unsigned_short", "BINARY", ">", None, (1, 9, 2, 6, 1, 5),
     (2, 3, 2)),
    ("rectilinear, box and rate", VOXAXIS, "short", "BINARY", ">", None, (2, 10, 1, 5, 0, 4),
     (3, 2, 2)),
    ("slice stack, rate", VOXSLAB, "unsigned_char", "BINARY", ">", None, None, (2, 2, 3)),
    ("ASCII, box and rate", VOXEVEN, "float", "ASCII", None, None, (1, 8, 0, 6, 1, 5), (2, 2, 2)),
    ("rectilinear ASCII, rate", VOXAXIS, "unsigned_short", "ASCII", None, None, None, (1, 3, 2)),
    ("reference, box and rate", VOXEVEN, "unsigned_short", "BINARY_FILE", ">", None,
     (0, 10, 3, 6, 0, 5), (5, 1, 2)),
]


def check_rows(folder):
    failures = 0
    for name, program, kind, encoding, order, setting, voi, rate in ROWS:
        path = make(folder, "row", program, kind, encoding, order or ">")
        view, info = numpy_view(path, order if setting in (LITTLE, AUTOMATIC) else None)
        box = [max(voi[a], 0) if a % 2 == 0 else min(voi[a], WHOLE[a]) for a in range(6)] \
            if voi else WHOLE
        size = numpy.dtype(CODES[kind]).itemsize
        for threads in (1, 3):
            reader, errors = read(path, setting, voi, rate, threads=threads)
            problems = compare(reader, errors, view, info, box, rate,
                               None if encoding == "ASCII" else rows_bytes(box, rate, size))
            print(("FAIL " if problems else "ok   ") + "%s, %d threads: %s" %
                  (name, threads, "; ".join(problems)))
            failures += bool(problems)
    # The update extent asked of the selected grid: its rows alone, under a rate and a box.
    path = make(folder, "part", VOXEVEN)
    view, info = numpy_view(path)
    voi, rate = (1, 10, 0, 6, 1, 5), (3, 2, 2)  # the output: extent 0..3, 0..3, 0..2
    for extent, box in (((1, 2, 1, 3, 1, 1), (4, 7, 2, 6, 3, 3)),
                        ((0, 3, 3, 3, 0, 2), (1, 10, 6, 6, 1, 5))):
        reader, errors = read(path, voi=voi, rate=rate, extent=extent)
        problems = compare(reader, errors, view, info, box, rate, rows_bytes(box, rate, 2))
        if reader.GetOutput().GetExtent() != extent:
            problems.append("extent %s" % (reader.GetOutput().GetExtent(),))
        print(("FAIL " if problems else "ok   ") + "update extent %s of the selected grid: %s" %
              (extent, "; ".join(problems)))
        failures += bool(problems)
    return failures


def check_refused(folder):
    """A box with nothing of the grid, a rate below 1: an error that says why, no output."""
    failures = 0
    path = make(folder, "refused", VOXEVEN)
    for voi, rate, why in [((5, 3, 0, 6, 0, 5), (1, 1, 1), "VOI 5 0 0 to 3 6 5 holds no sample"),
                           ((0, 10, 0, 6, 6, 9), (1, 1, 1), "holds no sample of the grid"),
                           (None, (1, 0, 2), "SampleRate 1 0 2: each must be 1 or more")]:
        reader, errors = read(path, voi=voi, rate=rate)
        out = reader.GetOutput()
        bad = (out is not None and out.GetNumberOfPoints() > 0) or \
            not any(why in m for m in errors)
        print(("FAIL " if bad else "ok   ") + "refused %s %s: %s" % (voi, rate, errors[:1]))
        failures += bad
    return failures


def check_mapped(folder):
    """MemoryMap on each kind of sample: the file's pages where no byte needs swapping, no rate
    asks for a copy and the values lie at a multiple of their size; read elsewhere; the values
    numpy's either way."""
    failures = 0
    for kind in CODES:
        for order, setting in ((">", BIG), ("<", LITTLE)):
            for rate, voi in (((1, 1, 1), None), ((1, 1, 1), (0, 10, 0, 6, 2, 3)),
                              ((1, 2, 1), None)):
                path = make(folder, "mapped", VOXEVEN, kind, "BINARY", order)
                view, info = numpy_view(path, order)
                size = numpy.dtype(CODES[kind]).itemsize
                box = list(voi) if voi else WHOLE
                can = (size == 1 or order == "<") and rate == (1, 1, 1) and \
                    info["samples"]["offset"] % size == 0
                reader, errors = read(path, setting, voi, rate, memory_map=True)
                problems = compare(reader, errors, view, info, box, rate,
                                   0 if can else rows_bytes(box, rate, size))
                if reader.GetSamplesMapped() != can:
                    problems.append("mapped %d" % reader.GetSamplesMapped())
                print(("FAIL " if problems else "ok   ") +
                      "MemoryMap %s %s rate %s box %s: %s" %
                      (kind, order, rate, voi, "; ".join(problems) or
                       ("mapped" if can else "read")))
                failures += bool(problems)
    return failures


def check_progress(folder):
    """Progress as the rows come in, up to the whole; an abort from an observer stops the read
    with no output and no error."""
    failures = 0
    path = make(folder, "progress", VOXEVEN, dims=(1024, 512, 8))  # 8 MiB
    for abort in (False, True):
        told = []

        def observe(reader):
            def progress(caller, event):
                told.append(caller.GetProgress())
                if abort and len(told) == 3:
                    caller.SetAbortExecute(1)
            reader.AddObserver(vtkCommand.ProgressEvent, progress)

        reader, errors = read(path, observe=observe, threads=2)
        points = reader.GetOutput().GetNumberOfPoints()
        if abort:
            # The pipeline itself tells 1 as it ends an update, aborted or not.
            bad = errors or points != 0 or len(told) > 4 or told[2] >= 1
        else:
            bad = errors or points != 1024 * 512 * 8 or len(told) < 5 or told[-1] != 1.0 or \
                told != sorted(told)
        print(("FAIL " if bad else "ok   ") + "%s: %d progress events, last %s, %d points%s" %
              ("abort" if abort else "progress", len(told), told[-1:], points,
               ", errors %s" % errors if errors else ""))
        failures += bool(bad)
    return failures


def in_child(step):
    """Runs `step()` in a child process: its exit status (0 when it returns true), or the signal
    that ended it, negated."""
    sys.stdout.flush()
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            code = 0 if step() else 1
        finally:
            sys.stdout.flush()
            os._exit(code)
    _, status = os.waitpid(pid, 0)
    return -os.WTERMSIG(status) if os.WIFSIGNALED(status) else os.WEXITSTATUS(status)


def own_threads():
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("Threads:"))


def check_limits(folder):
    """A thread that cannot start (a limit on the user's threads that lets one more start, then
    no other): the read completes on the calling thread. An array that cannot be allocated (an
    address space limit): an error message. In a child, whose end shows any crash."""
    failures = 0
    os.chmod(folder, 0o755)
    path = make(folder, "limits", VOXEVEN, dims=(1024, 512, 64))  # 64 MiB
    view, info = numpy_view(path)
    box, rate = [0, 1023, 0, 511, 0, 63], (1, 1, 1)

    def no_threads():
        if os.getuid() == 0:
            # Root is not held to RLIMIT_NPROC: a user of its own, whose threads are ours alone.
            os.setgid(64999)
            os.setuid(64999)
        resource.setrlimit(resource.RLIMIT_NPROC, (own_threads() + 1,) * 2)
        reader, errors = read(path, threads=4)
        problems = compare(reader, errors, view, info, box, rate, 1024 * 512 * 64 * 2)
        print(("FAIL " if problems else "ok   ") + "no threads past the first: %s" %
              "; ".join(problems))
        return not problems

    def no_memory():
        with open("/proc/self/status") as f:
            size = next(int(line.split()[1]) for line in f if line.startswith("VmSize:"))
        room = (size + 32 * 1024) * 1024  # 32 MiB more: less than the samples
        resource.setrlimit(resource.RLIMIT_AS, (room, room))
        reader, errors = read(path)
        good = reader.GetOutput().GetNumberOfPoints() == 0 and \
            any("no memory for 67108864 bytes of samples" in m for m in errors)
        print(("ok   " if good else "FAIL ") + "no memory for the array: %s" % errors[-1:])
        return good

    for name, step in (("no threads", no_threads), ("no memory", no_memory)):
        status = in_child(step)
        if status != 0:
            print("FAIL %s: the child ended with %s" % (name, status))
            failures += 1
    return failures


def main():
    with tempfile.TemporaryDirectory() as folder:
        failures = (check_rows(folder) + check_refused(folder) + check_mapped(folder) +
                    check_progress(folder) + check_limits(folder))
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
