"""Two ranks of pvbatch open one converter's file as a user's script does: each rank reads its
own piece, at most 55 % of the sample bytes, and the pieces make the whole grid; at a sample
rate, each reads its piece of the reduced grid, at most 55 % of the rows that hold it.

Usage: mpirun -np 2 pvbatch --symmetric paraview_mpi_test.py VOXEVEN FOLDER
(symmetric, so that each rank runs the script and can count its own bytes; the plugin on
PV_PLUGIN_PATH, the package "vox" on PYTHONPATH)"""
import os
import subprocess
import sys

from paraview import servermanager
from paraview.simple import OpenDataFile

import vox  # noqa: F401 (the reader's own methods in Python)

NX, NY, NZ = 32, 24, 64
SIZE = NX * NY * NZ * 2
voxeven, folder = sys.argv[1:3]
module = servermanager.vtkProcessModule.GetProcessModule()
rank, ranks = module.GetPartitionId(), module.GetNumberOfLocalPartitions()
controller = module.GetGlobalController()


def stage(what, step):
    """Runs a step of this rank; a failure is reported, never raised, so that every rank reaches
    every barrier and a failing rank does not leave the other waiting for ever."""
    try:
        return step()
    except Exception as error:  # noqa: BLE001 (any failure fails the test)
        print("FAIL rank %d, %s: %s" % (rank, what, error), flush=True)
        return None


def make_file():
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "s.raw"), "wb") as f:
        f.write(bytes(range(256)) * (SIZE // 256))
    subprocess.run([voxeven, "s.raw", "v.vtk", str(NX), str(NY), str(NZ), "1", "1", "1", "0",
                    "0", "0", "unsigned_short", "BINARY"], cwd=folder, check=True)
    return True


def read_piece():
    reader = OpenDataFile(os.path.join(folder, "v.vtk"))
    reader.UpdatePipeline()
    piece = reader.GetClientSideObject().GetOutputDataObject(0)
    read = reader.GetClientSideObject().GetSampleBytesRead()
    share = read / SIZE
    good = (ranks == 2 and reader.GetXMLName() == "VoxReader" and 0 < share <= 0.55 and
            read == 2 * piece.GetNumberOfPoints())
    print("%s rank %d of %d: extent %s, read %d of %d sample bytes (%.1f %%)" %
          ("ok  " if good else "FAIL", rank, ranks, piece.GetExtent(), read, SIZE, 100 * share),
          flush=True)
    with open(os.path.join(folder, "piece%d" % rank), "w") as f:
        f.write(" ".join(map(str, piece.GetExtent())))
    return good


def whole_grid():
    # The pieces together make the whole grid: each covers x and y, and the z ranges meet.
    pieces = []
    for i in range(ranks):
        with open(os.path.join(folder, "piece%d" % i)) as f:
            pieces.append([int(w) for w in f.read().split()])
    pieces.sort(key=lambda e: e[4])
    covered = all(e[:4] == [0, NX - 1, 0, NY - 1] for e in pieces) and pieces[0][4] == 0 and \
        pieces[-1][5] == NZ - 1 and all(a[5] >= b[4] for a, b in zip(pieces, pieces[1:]))
    print(("ok  " if covered else "FAIL") + " the pieces make the whole grid: %s" % pieces)
    return covered


def read_reduced():
    # At a rate of 2 along y and z: a grid of 32 x 12 x 32, a quarter of the rows.
    reader = OpenDataFile(os.path.join(folder, "v.vtk"))
    reader.SampleRate = [1, 2, 2]
    reader.UpdatePipeline()
    piece = reader.GetClientSideObject().GetOutputDataObject(0)
    read = reader.GetClientSideObject().GetSampleBytesRead()
    share = read / (SIZE / 4)
    good = (0 < share <= 0.55 and read == 2 * piece.GetNumberOfPoints() and
            piece.GetExtent()[:4] == (0, NX - 1, 0, NY // 2 - 1) and
            0 <= piece.GetExtent()[4] <= piece.GetExtent()[5] <= NZ // 2 - 1)
    print("%s rank %d at rate 1 2 2: extent %s, read %.1f %% of the reduced grid's bytes" %
          ("ok  " if good else "FAIL", rank, piece.GetExtent(), 100 * share), flush=True)
    return good


ok = rank != 0 or stage("making the file", make_file)
controller.Barrier()
ok = stage("reading its piece", read_piece) and ok
controller.Barrier()
if rank == 0:
    ok = stage("joining the pieces", whole_grid) and ok
controller.Barrier()
ok = stage("reading its piece at a rate", read_reduced) and ok
# pvbatch ends MPI when the script ends; an error in the script makes its exit status 1.
if not ok:
    raise RuntimeError("rank %d failed" % rank)
