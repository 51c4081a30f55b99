"""One timed open in pvpython, as a user's script does it, with the reader's properties set:
prints "SECONDS PEAK_KIB POINTS SAMPLE_BYTES_READ MAPPED", the peak being the growth of the
process's resident memory over what it held before the open.

Usage: pvpython sampling_open.py FILE BYTE_ORDER MEMORY_MAP I J K [IMIN IMAX JMIN JMAX KMIN KMAX]"""
import sys

import vox  # noqa: F401 (the reader's own methods in Python)
from paraview_open import timed_open

path, order, mapped = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rate = [int(w) for w in sys.argv[4:7]]
voi = [int(w) for w in sys.argv[7:13]] or [0, 2 ** 31 - 1] * 3


def configure(reader):
    reader.ByteOrder = order
    reader.MemoryMap = mapped
    reader.SampleRate = rate
    reader.VOI = voi


reader, seconds, peak = timed_open(path, configure)
algorithm = reader.GetClientSideObject()
print("%.3f %d %d %d %d" % (seconds, peak, algorithm.GetOutputDataObject(0).GetNumberOfPoints(),
                            algorithm.GetSampleBytesRead(), algorithm.GetSamplesMapped()))
