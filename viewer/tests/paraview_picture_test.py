"""The demo's pictures: each kind of file the converters write, rendered by demo/render.py under
pvbatch, shows the sphere: a bright centre, dark corners of the slice, white around it.

Usage: pvpython paraview_picture_test.py RENDER_PY MAKE_SAMPLE VOXAXIS VOXEVEN VOXSLAB
(with the plugin on PV_PLUGIN_PATH; needs xvfb-run)"""
import os
import subprocess
import sys
import tempfile

from vtkmodules.vtkIOImage import vtkPNGReader

RENDER, MAKE_SAMPLE, VOXAXIS, VOXEVEN, VOXSLAB = map(os.path.abspath, sys.argv[1:6])
FILES = {
    "sphere-axis.vtk": [VOXAXIS, "x.bin", "y.bin", "z.bin"],
    "sphere-even.vtk": [VOXEVEN, "1", "1", "1", "-32", "-32", "-32"],
    "sphere-slab.vtk": [VOXSLAB, "1", "1", "-32", "-32", "z.bin"],
    "sphere-ref.vtk": [VOXEVEN, "1", "1", "1", "-32", "-32", "-32"],
}
# Pixels counted from the lower left: the slice's centre, its four corners a few units in, and
# the background left of it; each with the grey levels it may have.
PROBES = [("centre", (200, 200), 230, 255)] + \
    [("corner", (200 + dx, 200 + dy), 0, 25) for dx in (-150, 150) for dy in (-150, 150)] + \
    [("background", (10, 200), 250, 255)]


def grey(image, x, y):
    return image.GetPointData().GetScalars().GetTuple(y * image.GetDimensions()[0] + x)[:3]


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([MAKE_SAMPLE, folder], check=True)
        for name, head in FILES.items():
            encoding = "BINARY_FILE" if name == "sphere-ref.vtk" else "BINARY"
            subprocess.run([head[0], "sphere.raw", name, "64", "64", "64"] + head[1:] +
                           ["unsigned_char", encoding], cwd=folder, check=True)
            picture = os.path.join(folder, name + ".png")
            # An X server that xvfb-run has just started is now and then not there for pvbatch
            # ("bad X server connection"), whatever runs beside it: up to three servers.
            for attempt in range(3):
                if subprocess.run(["xvfb-run", "-a", "pvbatch", RENDER, name, picture],
                                  cwd=folder).returncode == 0:
                    break
                print("note %s: pvbatch failed under X server %d of 3" % (name, attempt + 1))
            else:
                raise SystemExit("%s: no picture under three X servers" % name)
            reader = vtkPNGReader()
            reader.SetFileName(picture)
            reader.Update()
            image = reader.GetOutput()
            problems = []
            if image.GetDimensions()[:2] != (480, 400):
                problems.append("size %s" % (image.GetDimensions(),))
            else:
                for what, (x, y), low, high in PROBES:
                    levels = grey(image, x, y)
                    if not all(low <= v <= high for v in levels):
                        problems.append("%s at (%d, %d): %s" % (what, x, y, levels))
            print(("FAIL " if problems else "ok   ") + name + ": " + "; ".join(problems))
            failures += bool(problems)
    print("%d failed" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
