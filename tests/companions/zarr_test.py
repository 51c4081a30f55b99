#!/usr/bin/python3
"""Zarr references opened by zarr, xarray and Dask, locally, on a cluster and over HTTP.

    /usr/bin/python3 zarr_test.py BUILD [--only TEXT] [--keep FOLDER]

Each row converts a volume of known values with voxeven, voxaxis or voxslab from BUILD (as the
readers' test does), has voxlink write its Zarr reference (the default NAME.zarr.json beside the
file, or a name in another folder), opens it from a third folder with the row's reader and
compares the dimensions, the chunk shape, the dtype, every grid line and every value with what
the converter was given. The readers:

    xarray   xr.open_dataset("reference://", engine="zarr", ...), as the README shows it
    zarr     zarr.open_consolidated on fsspec's reference mapper
    dask     dask.array.from_zarr, computed by the scheduler of processes (the mapper pickled)
    cluster  dask-scheduler and two dask-worker processes on 127.0.0.1, a client at the
             scheduler's address, a reduction over every chunk against numpy
    http     the folder served by nginx on 127.0.0.1 (voxlink given --data-url), read by xarray

A row with a refusal expects voxlink's status and one line, and nothing written. A row with an
aim sets VOXLINK_ZARR_CHUNK_BYTES, so that small volumes have many chunks, slices larger than
the aim and rows longer than it. The row past 4 GiB reads only its first and last rows. Needs
Debian's python3-zarr, python3-fsspec, python3-xarray, python3-dask, python3-distributed,
python3-aiohttp and nginx-light; exits 77 where one is missing. The last line counts the cases.
"""

import argparse
import contextlib
import dataclasses
import json
import os
import pwd
import grp
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import numpy as np

import expect
import readers_test as rt

try:
    import dask.array as da
    import distributed
    import fsspec
    import xarray as xr
    import zarr
    import aiohttp  # noqa: F401  (fsspec's HTTP file system)
except ImportError as missing:
    print(f"skipping: {missing.name} is not installed")
    sys.exit(77)
NGINX = shutil.which("nginx") or "/usr/sbin/nginx"

UNIFORM = ((0.5, 1, 2), (-1, 0, 3))
AXES = ((-7.5, -7.25, -6.5, 0, 100.125, 101, 102), (0, 1.5, 3, 10, 11), (100, 102, 110.5))
SLAB = ((0.25, 1.5), (-7.5, 0), (10, 12.5, 15, 20.25, 21, 22.5, 30))


@dataclasses.dataclass
class Case:
    name: str
    row: rt.Row                # what the converter is given (readers_test's rows)
    reader: str = "xarray"
    option: str = None         # --byte-order=...
    aim: int = None            # VOXLINK_ZARR_CHUNK_BYTES
    chunks: tuple = None       # the chunk shape, z first
    dtype: str = None          # as the reference declares it
    elsewhere: bool = False    # a name in another folder, not NAME.zarr.json beside the file
    url: str = None            # --data-url as given; "http" for the served folder
    refusal: tuple = None      # (status, standard error) of voxlink; nothing written


def row(name, program, type, dims, grid, order="big", **more):
    return rt.Row(name, program, type, order, dims, grid, (), **more)


def even(type, dims, order="big", **more):
    return row("", "voxeven", type, dims, UNIFORM, order, **more)


CASES = [
    Case("uniform ushort big", even("unsigned_short", (6, 5, 4)), chunks=(4, 5, 6),
         dtype=">u2"),
    Case("uniform float little", even("float", (5, 4, 3), "little"), option="little",
         chunks=(3, 4, 5), dtype="<f4", elsewhere=True),
    Case("uniform uchar", even("unsigned_char", (7, 3, 2)), reader="zarr", dtype="|u1"),
    Case("uniform char", even("char", (4, 4, 4), "little"), dtype="|i1"),
    Case("uniform int auto", even("int", (16, 12, 8), "little", values="smooth"),
         option="auto", dtype="<i4"),
    Case("uniform uint", even("unsigned_int", (6, 5, 4)), reader="zarr", dtype=">u4"),
    Case("uniform long", even("long", (6, 5, 4)), dtype=">i8", elsewhere=True),
    Case("uniform ulong little", even("unsigned_long", (6, 5, 4), "little"), option="little",
         reader="dask", dtype="<u8"),
    Case("uniform double auto", row("", "voxeven", "double", (16, 12, 8),
                                    ((1e-3, 2e-3, 0.5), (1e5, -1e5, 0)), values="smooth"),
         option="auto", dtype=">f8"),
    Case("reference short", even("short", (6, 5, 4), encoding="BINARY_FILE"), dtype=">i2"),
    Case("reference double little", even("double", (5, 4, 3), "little",
                                         encoding="BINARY_FILE"),
         option="little", dtype="<f8", elsewhere=True, reader="zarr"),
    Case("rectilinear int", row("", "voxaxis", "int", (7, 5, 3), AXES), dtype=">i4",
         elsewhere=True),
    # Big-endian coordinates under little-endian samples: each judged on its own.
    Case("rectilinear float little", row("", "voxaxis", "float", (7, 5, 3), AXES, "little",
                                         values="smooth"), option="auto", reader="zarr",
         dtype="<f4"),
    Case("slice stack ushort", row("", "voxslab", "unsigned_short", (6, 5, 7), SLAB),
         dtype=">u2"),
    Case("slice stack float little", row("", "voxslab", "float", (6, 5, 7), SLAB, "little",
                                         values="smooth"), option="auto", reader="dask",
         dtype="<f4"),
    # Chunk shapes that must divide the grid.
    Case("a prime number of slices", even("unsigned_short", (6, 5, 7)), aim=2 * 60,
         chunks=(1, 5, 6), reader="zarr"),
    Case("several slices a chunk", even("short", (6, 5, 12)), aim=3 * 60 + 59,
         chunks=(3, 5, 6), reader="dask"),
    Case("a slice larger than the aim", even("float", (8, 9, 2)), aim=5 * 32,
         chunks=(1, 3, 8)),
    Case("a prime number of rows in a large slice", row("", "voxslab", "unsigned_char",
                                                        (10, 13, 7), SLAB),
         aim=50, chunks=(1, 1, 10), reader="zarr"),
    Case("one row longer than the aim", even("unsigned_int", (40, 3, 2)), aim=100,
         chunks=(1, 1, 40)),
    # Across processes and machines.
    Case("a cluster of two workers", row("", "voxaxis", "int", (7, 5, 3), AXES,
                                         values="smooth"), aim=2 * 140, chunks=(1, 5, 7),
         reader="cluster"),
    Case("over HTTP, from nginx", even("unsigned_short", (6, 5, 12)), aim=4 * 60,
         chunks=(4, 5, 6), url="http", reader="http"),
    Case("over HTTP in reference mode", even("double", (5, 4, 3), encoding="BINARY_FILE"),
         url="http", reader="http"),
    # Past 4 GiB: one slice of a prime number of rows, its last values after the hole.
    Case("past 4 GiB, sparse", even("unsigned_char", (65536, 65537, 1), encoding="BINARY_FILE",
                                    large=True), chunks=(1, 1, 65536)),
    # Every binary point-data array of numbers, with one component or several, written here.
    Case("point data of several arrays", row("", "hand", "unsigned_char", (4, 3, 2), UNIFORM),
         chunks=(2, 3, 4)),
    # Refusals.
    Case("text samples", even("short", (6, 5, 4), encoding="ASCII"),
         refusal=(1, "no Zarr reference companion: the samples are text (ASCII), which cannot "
                  "be read in chunks in place")),
    Case("a sample file shorter than the grid", even("short", (6, 5, 4),
                                                     encoding="BINARY_FILE"),
         refusal=(1, "samples in data/samples.raw: expected 240 bytes (120 points x 2 bytes of "
                  "short), found 239 (too few)")),
    Case("a URL that is none", even("short", (6, 5, 4)), url="data/volume.vtk",
         refusal=(1, "--data-url: 'data/volume.vtk' is no URL (SCHEME://...)")),
    Case("a URL with a blank", even("short", (6, 5, 4)), url="http://host/a b.vtk",
         refusal=(1, "--data-url: the URL 'http://host/a b.vtk' holds a blank or a control "
                  "character")),
]


# --- Servers ------------------------------------------------------------------------------------

def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"{process.args[0]} ended with status {process.returncode}")
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.2):
            return
        time.sleep(0.1)
    raise RuntimeError(f"nothing answers on port {port}")


@contextlib.contextmanager
def nginx(root, scratch):
    """nginx serving `root` on 127.0.0.1, with a configuration and logs of its own."""
    port = free_port()
    folder = tempfile.mkdtemp(prefix="nginx-", dir=scratch)
    user = pwd.getpwuid(os.geteuid()).pw_name
    group = grp.getgrgid(os.getegid()).gr_name
    config = os.path.join(folder, "nginx.conf")
    with open(config, "w") as file:
        # The user line counts when run as root (then the workers read as this user too).
        file.write(f"""user {user} {group};
daemon off;
worker_processes 1;
pid {folder}/nginx.pid;
error_log {folder}/error.log;
events {{ worker_connections 64; }}
http {{
    access_log off;
    client_body_temp_path {folder}/body;
    proxy_temp_path {folder}/proxy;
    fastcgi_temp_path {folder}/fastcgi;
    uwsgi_temp_path {folder}/uwsgi;
    scgi_temp_path {folder}/scgi;
    server {{
        listen 127.0.0.1:{port};
        root {root};
    }}
}}
""")
    server = subprocess.Popen([NGINX, "-c", config, "-p", folder, "-e", f"{folder}/error.log"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for_port(port, server)
        yield f"http://127.0.0.1:{port}"
    finally:
        server.terminate()
        server.wait(10)


@contextlib.contextmanager
def dask_cluster(scratch):
    """dask-scheduler and two dask-worker processes on 127.0.0.1; yields the scheduler's
    address."""
    port = free_port()
    address = f"tcp://127.0.0.1:{port}"
    common = ["--no-dashboard"]
    log = open(os.path.join(scratch, "dask.log"), "w")
    processes = [subprocess.Popen(["dask-scheduler", "--host", "127.0.0.1", "--port",
                                   str(port), *common], stdout=log, stderr=log, cwd=scratch)]
    try:
        wait_for_port(port, processes[0], 60)
        for _ in range(2):
            processes.append(subprocess.Popen(
                ["dask-worker", address, "--nthreads", "1", "--nworkers", "1", "--host",
                 "127.0.0.1", "--memory-limit", "0", *common], stdout=log, stderr=log,
                cwd=scratch))
        yield address
    finally:
        for p in reversed(processes):
            p.terminate()
        for p in processes:
            try:
                p.wait(20)
            except subprocess.TimeoutExpired:
                p.kill()
        log.close()


# --- Readers ------------------------------------------------------------------------------------

def open_xarray(reference):
    return xr.open_dataset("reference://", engine="zarr", chunks={}, backend_kwargs={
        "consolidated": False, "storage_options": {"fo": reference}})


def read(case, reference, name, services):
    """(values z, y, x as numpy, [x, y, z] lines, chunk shape, dtype) through the row's reader."""
    if case.reader in ("xarray", "http"):
        ds = open_xarray(reference)
        array = ds[name]
        if list(array.dims) != ["z", "y", "x"]:
            raise expect.Mismatch(f"dimensions {array.dims}")
        chunks = tuple(c[0] for c in array.chunks)
        return array.values, [ds[a].values for a in "xyz"], chunks, None
    mapper = fsspec.get_mapper("reference://", fo=reference)
    group = zarr.open_consolidated(mapper, mode="r")
    array = group[name]
    lines = [group[a][:] for a in "xyz"]
    if case.reader == "zarr":
        return array[:], lines, array.chunks, array.dtype.str
    volume = da.from_zarr(array)
    if case.reader == "dask":
        return volume.compute(scheduler="processes"), lines, array.chunks, array.dtype.str
    # cluster: sums of every chunk on the workers, against numpy's of the values
    with distributed.Client(services["cluster"], timeout=60) as client:
        workers = len(client.scheduler_info()["workers"])
        if workers != 2:
            raise expect.Mismatch(f"{workers} workers, not 2")
        # The reference's contents, as across machines: the workers need no copy of it.
        with open(reference) as file:
            ds = open_xarray(json.load(file))
        total = ds[name].astype(np.float64).sum().compute()
        largest = ds[name].max(dim=("y", "x")).compute()
        values = array[:]
        if total.item() != values.astype(np.float64).sum():
            raise expect.Mismatch(f"sum {total.item()} on the cluster, "
                                  f"{values.astype(np.float64).sum()} in numpy")
        if not np.array_equal(largest.values, values.max(axis=(1, 2))):
            raise expect.Mismatch("the largest value of each slice differs from numpy's")
    return values, lines, array.chunks, array.dtype.str


def check_large(case, reference, raw):
    """The first and last rows alone, of a slice of 4 GiB: reading them reads nothing else."""
    ds = open_xarray(reference)
    array = ds["scalars"]
    nx, ny, _ = case.row.dims
    values = np.memmap(raw, dtype=np.uint8, mode="r")
    for y in (0, ny - 1):
        got = array[0, y, :].values
        want = values[y * nx:(y + 1) * nx]
        if not np.array_equal(got, want):
            raise expect.Mismatch(f"row {y} differs: {got[:4]}... instead of {want[:4]}...")
    if list(array.shape) != [1, ny, nx]:
        raise expect.Mismatch(f"shape {array.shape}")
    if tuple(c[0] for c in array.chunks) != case.chunks:
        raise expect.Mismatch(f"chunks {tuple(c[0] for c in array.chunks)}")
    lines = [ds[a].values for a in "xyz"]
    return lines


def write_large(row, path):
    """A sparse sample file of the row's size: a mark first, the last row written after the
    hole."""
    nx, ny, nz = row.dims
    size = nx * ny * nz
    with open(path, "wb") as file:
        file.truncate(size)
        file.write(b"\x33")
        file.seek(size - nx)
        file.write(np.random.default_rng(7).integers(0, 256, nx, dtype=np.uint8).tobytes())


# --- Rows ---------------------------------------------------------------------------------------

# A file of several point-data arrays, as the converters write none: (name, components, numpy's
# type, the lines before the values).
ARRAYS = [("rgb", 3, "u1", "SCALARS rgb unsigned_char 3\nLOOKUP_TABLE default"),
          ("v", 3, ">f4", "VECTORS v float"), ("t", 9, ">f8", "TENSORS t double"),
          ("w", 2, ">i2", "FIELD more 1\nw 2 24 short")]


def check_point_data(case, folder, build):
    nx, ny, nz = case.row.dims
    count = nx * ny * nz
    rng = np.random.default_rng(3)
    values = {name: rng.integers(-100, 100, (nz, ny, nx, n)).astype(dtype)
              for name, n, dtype, _ in ARRAYS}
    path = os.path.join(folder, "v.vtk")
    with open(path, "wb") as file:
        file.write(f"# vtk DataFile Version 3.0\narrays\nBINARY\nDATASET STRUCTURED_POINTS\n"
                   f"DIMENSIONS {nx} {ny} {nz}\nSPACING 1 1 1\nORIGIN 0 0 0\n"
                   f"POINT_DATA {count}\n".encode())
        for name, _, _, line in ARRAYS:
            file.write(line.encode() + b"\n" + values[name].tobytes() + b"\n")
    subprocess.run([os.path.join(build, "voxlink", "voxlink"), path, path + ".json"],
                   check=True, capture_output=True)
    ds = open_xarray(path + ".json")
    for name, n, dtype, _ in ARRAYS:
        dims = ("z", "y", "x", "component" if n == 3 else f"component_{n}")
        got = ds[name]
        if got.dims != dims or tuple(c[0] for c in got.chunks) != case.chunks + (n,):
            raise expect.Mismatch(f"{name}: dimensions {got.dims}, chunks {got.chunks}")
        if not np.array_equal(got.values, values[name]):
            raise expect.Mismatch(f"{name}: the values differ")
    return f"{', '.join(ds.data_vars)} read whole"


def run_case(case, build, scratch, services):
    folder = os.path.join(scratch, case.name.replace(" ", "-"))
    os.makedirs(folder)
    if case.row.program == "hand":
        return check_point_data(case, folder, build)
    if case.row.large:
        original = rt.write_samples
        rt.write_samples = lambda row, path: (write_large(row, path), path)[1]
        try:
            vtk, raw, axes = rt.convert(case.row, build, folder)
        finally:
            rt.write_samples = original
    else:
        vtk, raw, axes = rt.convert(case.row, build, folder)
    if case.name.startswith("a sample file shorter"):
        os.truncate(raw, os.path.getsize(raw) - 1)
    os.makedirs(os.path.join(folder, "links"))
    relative = os.path.relpath(vtk, folder)
    output = os.path.join("links", "v.json") if case.elsewhere else None
    arguments = [f"--byte-order={case.option}"] if case.option else []
    if case.url:
        # The data file as the server has it: the header, or in reference mode the samples.
        data = raw if case.row.encoding == "BINARY_FILE" else vtk
        served = case.url
        if case.url == "http":
            served = services["http"] + "/" + os.path.relpath(data, scratch)
        arguments.append(f"--data-url={served}")
    arguments += [relative, output or os.path.join("data", "volume.json")]
    if not case.elsewhere and not case.refusal:
        arguments.pop()  # the default name, beside the file: every companion
    env = dict(os.environ)
    if case.aim:
        env["VOXLINK_ZARR_CHUNK_BYTES"] = str(case.aim)
    before = set(os.listdir(os.path.join(folder, "data")))
    done = subprocess.run(["voxlink", *arguments], executable=os.path.join(build, "voxlink",
                                                                           "voxlink"),
                          cwd=folder, env=env, capture_output=True, text=True)
    if case.refusal:
        status, message = case.refusal
        expected = f"voxlink: {relative}: {message}\n"
        written = set(os.listdir(os.path.join(folder, "data"))) - before
        if (done.returncode, done.stderr) != (status, expected) or written:
            raise expect.Mismatch(f"status {done.returncode}, said {done.stderr!r}, wrote "
                                  f"{sorted(written)}; expected {status}, {expected!r}")
        return "refused"
    reference = os.path.join(folder, output or os.path.join("data", "volume.zarr.json"))
    if done.returncode != 0 or not os.path.exists(reference):
        raise expect.Mismatch(f"voxlink: status {done.returncode}: {done.stderr.strip()}")
    # Opened from a third folder: the data file is named by its absolute path or URL.
    elsewhere = os.path.join(folder, "other")
    os.makedirs(elsewhere)
    os.chdir(elsewhere)
    # By its absolute path: fsspec keeps a file system for each set of arguments, and would give
    # the first row's references to another row of the same relative name.
    words = [reference, raw, case.row.type, case.row.order, "1", *map(str, case.row.dims),
             *axes]
    expected = expect.Expected(words)
    size = os.path.getsize(reference)
    if case.row.large:
        lines = check_large(case, reference, raw)
        expected.check_grid(case.row.dims, lines)
        return f"rows 0 and {case.row.dims[1] - 1} read; reference of {size} bytes"
    values, lines, chunks, dtype = read(case, reference, "scalars", services)
    # As the reference declares it (xarray gives values in the machine's order).
    with open(reference) as file:
        dtype = json.loads(json.load(file)["refs"]["scalars/.zarray"])["dtype"]
    if case.chunks and tuple(chunks) != case.chunks:
        raise expect.Mismatch(f"chunks {tuple(chunks)} instead of {case.chunks}")
    if case.dtype and dtype != case.dtype:
        raise expect.Mismatch(f"dtype {dtype} instead of {case.dtype}")
    expected.check_grid(case.row.dims, lines)
    expected.check_values(values.astype(values.dtype.newbyteorder("=")), 1)
    return f"chunks {tuple(chunks)}, {dtype}, reference of {size} bytes"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", help="the build folder with the converters and voxlink")
    parser.add_argument("--only", help="the rows whose name holds this text")
    parser.add_argument("--keep", help="work in this (new) folder and leave it")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    cases = [c for c in CASES if not args.only or args.only in c.name]
    tally = rt.Tally()
    here = os.getcwd()
    with rt.scratch_folder(args.keep, "vox-zarr-") as scratch, contextlib.ExitStack() as stack:
        os.chmod(scratch, 0o755)  # nginx's workers read it
        services = {}
        if any(c.reader == "http" for c in cases):
            services["http"] = stack.enter_context(nginx(scratch, scratch))
        if any(c.reader == "cluster" for c in cases):
            services["cluster"] = stack.enter_context(dask_cluster(scratch))
        for case in cases:
            started = time.monotonic()
            try:
                said = run_case(case, build, scratch, services)
                tally.add("passed", f"{case.name} ({case.reader})",
                          f"{said}, {time.monotonic() - started:.1f} s")
            except (expect.Mismatch, subprocess.CalledProcessError, KeyError,
                    ValueError, OSError) as error:
                tally.add("failed", f"{case.name} ({case.reader})",
                          f"{type(error).__name__}: {error}")
            finally:
                os.chdir(here)
    return tally.done()


if __name__ == "__main__":
    sys.exit(main())
