"""Opens a companion header with a reader of VTK or ParaView and compares what it gives.

    python3 vtk_read.py vtkMetaImageReader COMPANION RAW TYPE ORDER COMPONENTS NX NY NZ X Y Z
    pvpython vtk_read.py READER COMPANION ...    READER: see below

vtkMetaImageReader is VTK's class, run by Debian's python3 with python3-vtk9 (VTK 9.1) or
python3-paraview (which brings ParaView's VTK 9.2 as vtkmodules), or by pvpython. The others
are ParaView's readers, by their names in paraview.simple, for pvpython with no plugin loaded:
MetaFileSeriesReader (ParaView's MetaImage reader), Xdmf3ReaderS, XDMFReader (the older XDMF 2
reader), or OpenDataFile for the one ParaView picks. The words after READER are those of
expect.py.
"""

import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source folder
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import expect  # noqa: E402


def leaves(data):
    """The data sets of a (possibly nested) multiblock output, or the output itself."""
    if data is None:
        return []
    if data.IsA("vtkMultiBlockDataSet"):
        found = []
        for i in range(data.GetNumberOfBlocks()):
            found += leaves(data.GetBlock(i))
        return found
    return [data]


def read_vtk(name, path):
    from vtkmodules import vtkIOImage
    from vtkmodules.vtkCommonCore import vtkCommand

    reader = getattr(vtkIOImage, name)()
    errors = []
    reader.AddObserver(vtkCommand.ErrorEvent, lambda caller, event: errors.append(event))
    reader.SetFileName(path)
    reader.Update()
    if errors or reader.GetErrorCode():
        raise expect.Mismatch(f"{name} reported an error (code {reader.GetErrorCode()})")
    return reader.GetOutput()


def read_paraview(name, path):
    from paraview import simple

    if name == "OpenDataFile":  # the reader that ParaView picks by the name of the file
        proxy = simple.OpenDataFile(path)
        if proxy is None:
            raise expect.Mismatch("ParaView has no reader for it")
    else:
        names = {"MetaFileSeriesReader": "FileNames", "XDMFReader": "FileNames"}
        proxy = getattr(simple, name)(**{names.get(name, "FileName"): [path]})
    proxy.UpdatePipeline()
    # The reader's own output (pvpython runs it in this process): servermanager.Fetch gives the
    # three axes of a rectilinear grid as one array of every point's worth of garbage.
    return proxy.GetClientSideObject().GetOutputDataObject(0)


def check(name, expected):
    from vtkmodules.util.numpy_support import vtk_to_numpy

    path = expected.companion
    data = read_vtk(name, path) if name.startswith("vtk") else read_paraview(name, path)
    sets = leaves(data)
    if len(sets) != 1:
        raise expect.Mismatch(f"{len(sets)} data sets instead of one")
    grid = sets[0]
    dims = grid.GetDimensions()
    if grid.IsA("vtkImageData"):
        origin, spacing = grid.GetOrigin(), grid.GetSpacing()
        axes = [origin[i] + spacing[i] * expect.np.arange(dims[i]) for i in range(3)]
        direction = grid.GetDirectionMatrix()
        if any(direction.GetElement(i, j) != (i == j) for i in range(3) for j in range(3)):
            raise expect.Mismatch("direction is not the identity")
        said = f"image, spacing {spacing}, origin {origin}"
    elif grid.IsA("vtkRectilinearGrid"):
        axes = [vtk_to_numpy(c) for c in (grid.GetXCoordinates(), grid.GetYCoordinates(),
                                           grid.GetZCoordinates())]
        said = "rectilinear grid"
    else:
        raise expect.Mismatch(f"a {grid.GetClassName()}, not a grid")
    expected.check_grid(dims, axes)
    points = grid.GetPointData()
    if points.GetNumberOfArrays() != 1:
        raise expect.Mismatch(f"{points.GetNumberOfArrays()} point arrays instead of one")
    array = points.GetArray(0)
    expected.check_values(vtk_to_numpy(array), array.GetNumberOfComponents())
    from vtkmodules.vtkCommonCore import vtkVersion

    return (f"VTK {vtkVersion.GetVTKVersion()}: {grid.GetClassName()} {dims}, {said}, "
            f"{array.GetDataTypeAsString()} "
            f"x{array.GetNumberOfComponents()}: all {array.GetNumberOfValues()} values match")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        raise SystemExit(f"usage: {sys.argv[0]} READER {expect.USAGE}")
    sys.exit(expect.run(sys.argv[1], lambda e: check(sys.argv[1], e), sys.argv[2:]))
