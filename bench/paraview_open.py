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


before = resident_kib()
start = time.perf_counter()
reader = simple.OpenDataFile(sys.argv[1])
reader.UpdatePipeline()
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
points = reader.GetDataInformation().GetNumberOfPoints()
print("%s %.3f %d %d" % (reader.GetXMLName(), seconds, peak, points))
