"""Each rank of `mpirun -np N pvbatch --symmetric` opens the file as a user's script does and
prints "RANK SAMPLE_BYTES_READ POINTS" for its own piece.

Usage: mpirun -np 2 pvbatch --symmetric paraview_ranks.py FILE"""
import os
import sys

from paraview import servermanager
from paraview.simple import OpenDataFile

import vox  # noqa: F401 (the reader's own methods in Python)

reader = OpenDataFile(sys.argv[1])
reader.UpdatePipeline()
algorithm = reader.GetClientSideObject()
rank = servermanager.vtkProcessModule.GetProcessModule().GetPartitionId()
# The whole line in one write(2) to descriptor 1: the ranks share the pipe, and a line written
# in parts may interleave with the other rank's.
line = "%d %d %d\n" % (rank, algorithm.GetSampleBytesRead(),
                       algorithm.GetOutputDataObject(0).GetNumberOfPoints())
os.write(1, line.encode())  # pvbatch replaces sys.stdout with an object of its own
