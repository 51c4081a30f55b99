"""Each rank of `mpirun -np N pvbatch --symmetric` opens the file as a user's script does and
prints "RANK SAMPLE_BYTES_READ POINTS" for its own piece.

Usage: mpirun -np 2 pvbatch --symmetric paraview_ranks.py FILE"""
import sys

from paraview import servermanager
from paraview.simple import OpenDataFile

import vox  # noqa: F401 (the reader's own methods in Python)

reader = OpenDataFile(sys.argv[1])
reader.UpdatePipeline()
algorithm = reader.GetClientSideObject()
rank = servermanager.vtkProcessModule.GetProcessModule().GetPartitionId()
print("%d %d %d" % (rank, algorithm.GetSampleBytesRead(),
                    algorithm.GetOutputDataObject(0).GetNumberOfPoints()), flush=True)
