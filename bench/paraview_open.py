"""One timed open in pvpython: OpenDataFile and UpdatePipeline of the file given, as a user's
script does it. Prints "READER SECONDS PEAK_KIB", the peak being the growth of the process's
resident memory over what it held before the open.

Usage: pvpython paraview_open.py FILE"""
import resource
import sys
import time

from paraview import simple


def resident_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def timed_open(path, configure=None):
    """The reader after OpenDataFile, `configure(reader)` and UpdatePipeline; the seconds they
    took, and the growth of the resident memory at its peak, in KiB."""
    before = resident_kib()
    start = time.perf_counter()
    reader = simple.OpenDataFile(path)
    if configure is not None:
        configure(reader)
    reader.UpdatePipeline()
    seconds = time.perf_counter() - start
    return reader, seconds, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before


if __name__ == "__main__":
    reader, seconds, peak = timed_open(sys.argv[1])
    points = reader.GetDataInformation().GetNumberOfPoints()
    print("%s %.3f %d %d" % (reader.GetXMLName(), seconds, peak, points))
