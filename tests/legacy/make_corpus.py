#!/usr/bin/python3
"""Make the legacy-format test corpus in files/ and its ground truth expected.tsv.

Run with the system Python that has Debian's python3-vtk9:

    python3 tests/legacy/make_corpus.py

Three groups of fixtures are written:
  vtk42_*, vtk51_*  by VTK's own writers, in file version 4.2 or 5.1;
  hand_*, other_*, broken_*  byte for byte by this script, in forms that older
                    writers and simulation codes use, other dataset types and
                    broken files;
  vox_*             in the dialect of this project's converters.
Every fixture is then read back with vtkDataSetReader and described in one
line of expected.tsv.
"""

import math
import os
import re
import struct
import sys

import numpy as np
import vtk
from vtk.util import numpy_support

HERE = os.path.dirname(os.path.abspath(__file__))
FILES = os.path.join(HERE, "files")
EXPECTED = os.path.join(HERE, "expected.tsv")

# The grid of most fixtures: 3 x 4 x 2 points.
DIMS = (3, 4, 2)
NPOINTS = DIMS[0] * DIMS[1] * DIMS[2]
NCELLS = (DIMS[0] - 1) * (DIMS[1] - 1) * (DIMS[2] - 1)

# Legacy-format type word for each VTK data type, as VTK's writer spells it.
TYPE_WORDS = {
    vtk.VTK_BIT: "bit",
    vtk.VTK_CHAR: "char",
    vtk.VTK_SIGNED_CHAR: "signed_char",
    vtk.VTK_UNSIGNED_CHAR: "unsigned_char",
    vtk.VTK_SHORT: "short",
    vtk.VTK_UNSIGNED_SHORT: "unsigned_short",
    vtk.VTK_INT: "int",
    vtk.VTK_UNSIGNED_INT: "unsigned_int",
    vtk.VTK_LONG: "long",
    vtk.VTK_UNSIGNED_LONG: "unsigned_long",
    vtk.VTK_LONG_LONG: "vtktypeint64",
    vtk.VTK_UNSIGNED_LONG_LONG: "vtktypeuint64",
    vtk.VTK_ID_TYPE: "vtkIdType",
    vtk.VTK_FLOAT: "float",
    vtk.VTK_DOUBLE: "double",
}

# The array class, value range and fixture name of every scalar type that the
# writers sweep over. Integer ranges are the full range of the type, so that a
# reader that gets sign or width wrong shows it in min and max.
SWEEP = [
    ("char", "vtkCharArray", -128, 127),
    ("signed_char", "vtkSignedCharArray", -128, 127),
    ("unsigned_char", "vtkUnsignedCharArray", 0, 255),
    ("short", "vtkShortArray", -32768, 32767),
    ("unsigned_short", "vtkUnsignedShortArray", 0, 65535),
    ("int", "vtkIntArray", -2**31, 2**31 - 1),
    ("unsigned_int", "vtkUnsignedIntArray", 0, 2**32 - 1),
    ("long", "vtkLongArray", -2**63, 2**63 - 1),
    ("unsigned_long", "vtkUnsignedLongArray", 0, 2**64 - 1),
    ("long_long", "vtkLongLongArray", -2**63, 2**63 - 1),
    ("unsigned_long_long", "vtkUnsignedLongLongArray", 0, 2**64 - 1),
    ("idtype", "vtkIdTypeArray", -2**31, 2**31 - 1),
    ("float", "vtkFloatArray", -1234.5678, 98765.4321),
    ("double", "vtkDoubleArray", -0.001234567890123, 3.14159265358979),
    ("bit", "vtkBitArray", 0, 1),
]

# The types also written in the other file version.
SWEEP_42 = ["unsigned_char", "long_long", "float", "bit"]


# ---------------------------------------------------------------- values

def smooth(n=NPOINTS, dims=DIMS, phase=0.0):
    """A smooth function over the grid, scaled to exactly 0..1."""
    values = []
    for p in range(n):
        i = p % dims[0]
        j = (p // dims[0]) % dims[1]
        k = p // (dims[0] * dims[1])
        values.append(math.sin(0.9 * i + 0.5 + phase) * math.cos(0.7 * j - phase)
                      + 0.35 * k + 0.05 * p)
    low, high = min(values), max(values)
    return [(v - low) / (high - low) for v in values]


def scaled(low, high, n=NPOINTS, phase=0.0):
    """The smooth function mapped onto low..high; integers stay exact."""
    fractions = smooth(n, phase=phase)
    if isinstance(low, int):
        steps = 1000000
        return [low + (high - low) * round(t * steps) // steps for t in fractions]
    return [low + (high - low) * t for t in fractions]


def make_array(class_name, name, components, tuples, values):
    array = getattr(vtk, class_name)()
    array.SetName(name)
    array.SetNumberOfComponents(components)
    array.SetNumberOfTuples(tuples)
    for index, value in enumerate(values):
        array.SetComponent(index // components, index % components, value)
    return array


def make_integer_array(class_name, name, values):
    """Integer arrays built through numpy, so that 64-bit values stay exact."""
    data_type = getattr(vtk, class_name)().GetDataType()
    dtype = numpy_support.get_numpy_array_type(data_type)
    array = numpy_support.numpy_to_vtk(np.array(values, dtype=dtype), deep=1,
                                       array_type=data_type)
    array.SetName(name)
    return array


def image(dims=DIMS, spacing=(0.5, 1.0, 2.5), origin=(-1.0, 0.0, 10.0)):
    data = vtk.vtkImageData()
    data.SetDimensions(*dims)
    data.SetSpacing(*spacing)
    data.SetOrigin(*origin)
    return data


def rectilinear(x, y, z):
    grid = vtk.vtkRectilinearGrid()
    grid.SetDimensions(x.GetNumberOfTuples(), y.GetNumberOfTuples(), z.GetNumberOfTuples())
    grid.SetXCoordinates(x)
    grid.SetYCoordinates(y)
    grid.SetZCoordinates(z)
    return grid


def sweep_array(type_name, class_name, low, high):
    values = scaled(low, high)
    if type_name == "bit":
        values = [1 if t > 0.5 else 0 for t in smooth()]
        return make_array(class_name, "bits", 1, NPOINTS, values)
    if isinstance(low, int) and type_name != "idtype":
        return make_integer_array(class_name, type_name + "_values", values)
    return make_array(class_name, type_name + "_values", 1, NPOINTS, values)


# --------------------------------------------------------------- writing

def write_vtk(data, name, binary, version, title):
    if data.IsA("vtkRectilinearGrid"):
        writer = vtk.vtkRectilinearGridWriter()
    else:
        writer = vtk.vtkStructuredPointsWriter()
    writer.SetInputData(data)
    writer.SetFileName(os.path.join(FILES, name))
    writer.SetHeader(title)
    writer.SetFileVersion(version)
    if binary:
        writer.SetFileTypeToBinary()
    else:
        writer.SetFileTypeToASCII()
    if not writer.Write():
        sys.exit("VTK could not write " + name)
    return name


def write_both(data, stem, version, title):
    """The same dataset as ASCII and as BINARY."""
    return [write_vtk(data, "%s_ascii.vtk" % stem, False, version, title),
            write_vtk(data, "%s_binary.vtk" % stem, True, version, title)]


def write_bytes(name, *chunks):
    """A hand-made fixture: text lines (str) and payloads (bytes) as given."""
    with open(os.path.join(FILES, name), "wb") as out:
        for chunk in chunks:
            out.write(chunk.encode("ascii") if isinstance(chunk, str) else chunk)
    return name


def big_endian(code, values):
    return struct.pack(">%d%s" % (len(values), code), *values)


def ascii_numbers(values, per_line=9):
    lines = []
    for start in range(0, len(values), per_line):
        lines.append(" ".join(str(v) for v in values[start:start + per_line]))
    return "\n".join(lines) + "\n"


# ------------------------------------------------- files by VTK's writers

def vtk_type_sweep():
    """Every scalar type in both encodings in 5.1, a representative set in 4.2."""
    names = []
    for type_name, class_name, low, high in SWEEP:
        data = image()
        data.GetPointData().SetScalars(sweep_array(type_name, class_name, low, high))
        title = "%s point scalars on a 3x4x2 grid" % type_name
        names += write_both(data, "vtk51_%s" % type_name, 51, title)
        if type_name in SWEEP_42:
            names += write_both(data, "vtk42_%s" % type_name, 42, title)
    return names


def vtk_components():
    """Point scalars with 2, 3 and 4 components, and colours with 4."""
    names = []
    for components in (2, 3, 4):
        data = image()
        values = scaled(-50.0, 75.0, NPOINTS * components)
        data.GetPointData().SetScalars(
            make_array("vtkFloatArray", "c%d" % components, components, NPOINTS, values))
        binary = components != 3
        encoding = "binary" if binary else "ascii"
        names.append(write_vtk(data, "vtk51_scalars%d_%s.vtk" % (components, encoding), binary, 51,
                               "float point scalars with %d components" % components))
    data = image()
    data.GetPointData().SetScalars(
        make_array("vtkUnsignedCharArray", "rgba", 4, NPOINTS, scaled(0, 255, NPOINTS * 4)))
    names += write_both(data, "vtk51_color4", 51, "unsigned char point scalars with 4 components")
    return names


def all_attributes(dataset):
    """Scalars, vectors, normals, texture coordinates, tensors, FIELD arrays in
    point data, cell scalars and vectors, and FIELD data on the dataset."""
    point = dataset.GetPointData()
    point.SetScalars(make_array("vtkFloatArray", "pressure", 1, NPOINTS, scaled(-3.5, 12.25)))
    point.SetVectors(make_array("vtkDoubleArray", "velocity", 3, NPOINTS,
                                scaled(-2.0, 2.0, NPOINTS * 3, phase=0.3)))
    point.SetNormals(make_array("vtkFloatArray", "normal", 3, NPOINTS,
                                [(0.0, 0.6, 0.8)[c % 3] for c in range(NPOINTS * 3)]))
    point.SetTCoords(make_array("vtkFloatArray", "uv", 2, NPOINTS,
                                scaled(0.0, 1.0, NPOINTS * 2, phase=0.7)))
    point.SetTensors(make_array("vtkFloatArray", "stress", 9, NPOINTS,
                                scaled(-100.0, 100.0, NPOINTS * 9, phase=1.1)))
    point.AddArray(make_array("vtkIntArray", "material", 1, NPOINTS, scaled(0, 7)))
    point.AddArray(make_array("vtkUnsignedCharArray", "mask", 1, NPOINTS,
                              [int(t > 0.3) for t in smooth()]))
    point.AddArray(make_array("vtkDoubleArray", "my flux", 2, NPOINTS,
                              scaled(-1e-3, 4e-3, NPOINTS * 2, phase=2.0)))
    cell = dataset.GetCellData()
    cell.SetScalars(make_array("vtkShortArray", "zone", 1, NCELLS, [-2, 5, 9, 300, 7, -40]))
    cell.SetVectors(make_array("vtkFloatArray", "flow", 3, NCELLS, scaled(-1.0, 1.0, NCELLS * 3)))
    field = dataset.GetFieldData()
    field.AddArray(make_array("vtkDoubleArray", "TIME", 1, 1, [12.5]))
    field.AddArray(make_array("vtkIntArray", "CYCLE", 1, 1, [340]))
    return dataset


def coordinate_arrays():
    x = make_array("vtkFloatArray", "x", 1, 3, [-1.5, 0.25, 4.0])
    y = make_array("vtkDoubleArray", "y", 1, 4, [0.0, 0.1, 0.3, 1.0 / 3.0 + 1.0])
    z = make_array("vtkIntArray", "z", 1, 2, [-20, 30])
    return x, y, z


def vtk_attributes():
    """Every attribute kind at once, on both dataset types; one file in 4.2."""
    names = []
    names += write_both(all_attributes(image()), "vtk51_attributes", 51,
                        "every attribute kind on structured points")
    names += write_both(all_attributes(rectilinear(*coordinate_arrays())),
                        "vtk51_rect_attributes", 51, "every attribute kind on a rectilinear grid")
    names.append(write_vtk(all_attributes(rectilinear(*coordinate_arrays())),
                           "vtk42_rect_attributes_binary.vtk", True, 42,
                           "every attribute kind on a rectilinear grid"))
    return names


def vtk_tensors6():
    data = image()
    data.GetPointData().SetTensors(make_array("vtkFloatArray", "strain", 6, NPOINTS,
                                              scaled(-0.5, 0.5, NPOINTS * 6)))
    data.GetPointData().SetScalars(make_array("vtkFloatArray", "trace", 1, NPOINTS,
                                              scaled(0.0, 1.5)))
    return write_both(data, "vtk51_tensors6", 51, "symmetric tensors with six components")


def vtk_lookup_table():
    data = image()
    scalars = make_array("vtkFloatArray", "temperature", 1, NPOINTS, scaled(250.0, 310.0))
    table = vtk.vtkLookupTable()
    table.SetNumberOfTableValues(4)
    for index, rgba in enumerate([(0, 0, 1, 1), (0, 1, 1, 0.5), (1, 1, 0, 0.75), (1, 0, 0, 1)]):
        table.SetTableValue(index, *rgba)
    scalars.SetLookupTable(table)
    data.GetPointData().SetScalars(scalars)
    return write_both(data, "vtk51_lookup_table", 51, "scalars with a named lookup table")


def vtk_metadata():
    """METADATA blocks: component names and an information key."""
    data = image()
    scalars = make_array("vtkFloatArray", "wave", 2, NPOINTS, scaled(-1.0, 1.0, NPOINTS * 2))
    scalars.SetComponentName(0, "real")
    scalars.SetComponentName(1, "imag")
    data.GetPointData().SetScalars(scalars)
    vectors = make_array("vtkFloatArray", "wind", 3, NPOINTS, scaled(-8.0, 8.0, NPOINTS * 3))
    vectors.GetInformation().Set(vtk.vtkDataArray.UNITS_LABEL(), "m/s")
    data.GetPointData().SetVectors(vectors)
    extra = make_array("vtkIntArray", "label", 1, NPOINTS, scaled(1, 9))
    extra.SetComponentName(0, "id")
    data.GetPointData().AddArray(extra)
    return write_both(data, "vtk51_metadata", 51, "arrays with component names and units")


def vtk_not_finite():
    """Float data with NaN and infinities; VTK writes them in ASCII as nan, inf."""
    data = image()
    values = scaled(-20.0, 20.0)
    values[3] = float("nan")
    values[10] = float("inf")
    values[17] = float("-inf")
    values[22] = float("nan")
    data.GetPointData().SetScalars(make_array("vtkFloatArray", "level", 1, NPOINTS, values))
    return write_both(data, "vtk51_not_finite", 51, "float scalars with NaN and infinities")


def vtk_cell_only():
    """Cell data and no point data at all."""
    data = image()
    data.GetCellData().SetScalars(make_array("vtkDoubleArray", "volume_fraction", 1, NCELLS,
                                             [0.0, 0.25, 0.5, 0.75, 1.0, 0.125]))
    return write_both(data, "vtk51_cell_only", 51, "cell scalars only")


# ------------------------------------------------------ hand-made files

def sp_header(version="3.0", encoding="ASCII", title="hand-made structured points"):
    return "# vtk DataFile Version %s\n%s\n%s\nDATASET STRUCTURED_POINTS\n" % (
        version, title, encoding)


GEOMETRY = "DIMENSIONS 3 4 2\nSPACING 0.5 1 2.5\nORIGIN -1 0 10\n"
INTS = [(7 * p) % 31 - 9 for p in range(NPOINTS)]            # -9..21, varied
FLOATS = [round(x, 4) for x in scaled(-2.5, 7.75)]


def float_scalars_ascii(name="f", values=FLOATS):
    return "POINT_DATA 24\nSCALARS %s float\nLOOKUP_TABLE default\n%s" % (
        name, ascii_numbers(values))


def hand_versions():
    """Magic lines of file versions 1.0, 2.0 and 3.0."""
    return [write_bytes("hand_version_%s.vtk" % v.replace(".", "_"), sp_header(v), GEOMETRY,
                        float_scalars_ascii())
            for v in ("1.0", "2.0", "3.0")]


def hand_geometry_forms():
    """ASPECT_RATIO for SPACING, ORIGIN first, lower-case keywords, no SPACING/ORIGIN."""
    body = float_scalars_ascii()
    return [
        write_bytes("hand_aspect_ratio.vtk", sp_header("2.0"),
                    "DIMENSIONS 3 4 2\nASPECT_RATIO 0.5 1 2.5\nORIGIN -1 0 10\n", body),
        write_bytes("hand_origin_first.vtk", sp_header(),
                    "DIMENSIONS 3 4 2\nORIGIN -1 0 10\nSPACING 0.5 1 2.5\n", body),
        write_bytes("hand_dimensions_last.vtk", sp_header(),
                    "ORIGIN -1 0 10\nSPACING 0.5 1 2.5\nDIMENSIONS 3 4 2\n", body),
        write_bytes("hand_no_spacing_origin.vtk", sp_header(), "DIMENSIONS 3 4 2\n", body),
        write_bytes("hand_lower_case.vtk", "# vtk DataFile Version 3.0\nlower-case keywords\n"
                    "ascii\ndataset structured_points\ndimensions 3 4 2\n"
                    "aspect_ratio 0.5 1 2.5\norigin -1 0 10\npoint_data 24\n"
                    "scalars f FLOAT\nlookup_table default\n", ascii_numbers(FLOATS)),
    ]


def hand_layout():
    """CRLF line ends, blank lines, tabs between words and after keywords."""
    text = sp_header() + GEOMETRY + float_scalars_ascii()
    binary_header = (sp_header(encoding="BINARY") + GEOMETRY
                     + "POINT_DATA 24\nSCALARS f float\nLOOKUP_TABLE default\n")
    blank = ("# vtk DataFile Version 3.0\nblank lines\n\nASCII\n\n\nDATASET STRUCTURED_POINTS\n\n"
             "DIMENSIONS 3 4 2\n\nSPACING 0.5 1 2.5\n  \nORIGIN -1 0 10\n\nPOINT_DATA 24\n\n"
             "SCALARS f float\n\nLOOKUP_TABLE default\n\n" + ascii_numbers(FLOATS) + "\n")
    tabs = ("# vtk DataFile Version\t3.0\ntabs\nASCII\nDATASET\tSTRUCTURED_POINTS\n"
            "DIMENSIONS\t3\t4 2\nSPACING 0.5\t1\t2.5\nORIGIN\t-1 0\t10\nPOINT_DATA\t24\n"
            "SCALARS\tf\tfloat\nLOOKUP_TABLE\tdefault\n"
            + ascii_numbers(FLOATS).replace(" ", "\t"))
    return [
        write_bytes("hand_crlf_ascii.vtk", text.replace("\n", "\r\n")),
        write_bytes("hand_crlf_binary.vtk", binary_header.replace("\n", "\r\n"),
                    big_endian("f", FLOATS), b"\r\n"),
        write_bytes("hand_blank_lines.vtk", blank),
        write_bytes("hand_tabs.vtk", tabs),
        write_bytes("broken_blank_after_magic.vtk", text.replace("\n", "\n\n", 1)),
    ]


def hand_scalars():
    """SCALARS with explicit component counts, a named lookup table with and
    without its definition, two SCALARS sections, unsigned_char in BINARY."""
    values4 = [round(x, 3) for x in scaled(-1.0, 1.0, NPOINTS * 4)]
    table = "LOOKUP_TABLE heat 3\n0 0 1 1\n0.5 0.5 0.5 1\n1 0 0 1\n"
    return [
        write_bytes("hand_scalars_count1.vtk", sp_header(), GEOMETRY,
                    "POINT_DATA 24\nSCALARS one int 1\nLOOKUP_TABLE default\n",
                    ascii_numbers(INTS)),
        write_bytes("hand_scalars_count4_binary.vtk", sp_header(encoding="BINARY"), GEOMETRY,
                    "POINT_DATA 24\nSCALARS four float 4\nLOOKUP_TABLE default\n",
                    big_endian("f", values4), b"\n"),
        write_bytes("hand_named_lut_undefined.vtk", sp_header(), GEOMETRY,
                    "POINT_DATA 24\nSCALARS f float\nLOOKUP_TABLE heat\n", ascii_numbers(FLOATS)),
        write_bytes("hand_named_lut_defined.vtk", sp_header(), GEOMETRY,
                    "POINT_DATA 24\nSCALARS f float\nLOOKUP_TABLE heat\n", ascii_numbers(FLOATS),
                    table),
        write_bytes("hand_named_lut_defined_binary.vtk", sp_header(encoding="BINARY"), GEOMETRY,
                    "POINT_DATA 24\nSCALARS f float\nLOOKUP_TABLE heat\n", big_endian("f", FLOATS),
                    "\nLOOKUP_TABLE heat 3\n", bytes([0, 0, 255, 255, 128, 128, 128, 255,
                                                      255, 0, 0, 255]), b"\n"),
        write_bytes("hand_two_scalars.vtk", sp_header(), GEOMETRY,
                    float_scalars_ascii("first"),
                    "SCALARS second int\nLOOKUP_TABLE default\n", ascii_numbers(INTS)),
        write_bytes("hand_unsigned_char_binary.vtk", sp_header(encoding="BINARY"), GEOMETRY,
                    "POINT_DATA 24\nSCALARS bytes unsigned_char\nLOOKUP_TABLE default\n",
                    bytes([(11 * p) % 256 for p in range(NPOINTS)][:23] + [255]), b"\n"),
        write_bytes("broken_missing_lookup_table.vtk", sp_header(), GEOMETRY,
                    "POINT_DATA 24\nSCALARS f float\n", ascii_numbers(FLOATS)),
    ]


def hand_section_order():
    """FIELD before DIMENSIONS, CELL_DATA before POINT_DATA, vectors before
    scalars (whose name has a blank written as %20)."""
    field = "FIELD FieldData 2\nTIME 1 1 double\n0.125\ncycle 1 1 int\n42\n"
    cell = "CELL_DATA 6\nSCALARS zone int\nLOOKUP_TABLE default\n3 1 4 1 5 9\n"
    vectors = "VECTORS v float\n" + ascii_numbers([round(x, 3) for x in scaled(-1.0, 1.0, 72)])
    return [
        write_bytes("hand_field_first.vtk", sp_header(), field, GEOMETRY, float_scalars_ascii()),
        write_bytes("hand_cell_data_first.vtk", sp_header(), GEOMETRY, cell,
                    float_scalars_ascii()),
        write_bytes("hand_vectors_first.vtk", sp_header(), GEOMETRY, "POINT_DATA 24\n", vectors,
                    "SCALARS sea%20level float\nLOOKUP_TABLE default\n", ascii_numbers(FLOATS)),
    ]


def hand_colors():
    """COLOR_SCALARS as reals 0..1 in ASCII, as bytes in BINARY, and ASCII colours
    written wrongly as bytes 0..255."""
    reals = [round(t, 4) for t in scaled(0.0, 1.0, NPOINTS * 3)]
    return [
        write_bytes("hand_color_ascii.vtk", sp_header(), GEOMETRY,
                    "POINT_DATA 24\nCOLOR_SCALARS rgb 3\n", ascii_numbers(reals)),
        write_bytes("hand_color_binary.vtk", sp_header(encoding="BINARY"), GEOMETRY,
                    "POINT_DATA 24\nCOLOR_SCALARS rgba 4\n", bytes(scaled(0, 255, NPOINTS * 4)),
                    b"\n"),
        write_bytes("hand_color_ascii_bytes.vtk", sp_header(), GEOMETRY,
                    "POINT_DATA 24\nCOLOR_SCALARS grey 1\n",
                    ascii_numbers([(11 * p) % 256 for p in range(NPOINTS)])),
    ]


def hand_binary_payloads():
    """Binary payloads with and without the line feed after them."""
    head = sp_header(encoding="BINARY") + GEOMETRY + "POINT_DATA 24\n"
    scalars = "SCALARS f float\nLOOKUP_TABLE default\n"
    vectors = big_endian("f", [round(x, 3) for x in scaled(-1.0, 1.0, 72)])
    return [
        write_bytes("hand_binary_no_lf.vtk", head, scalars, big_endian("f", FLOATS)),
        write_bytes("hand_binary_no_lf_then_vectors.vtk", head, scalars, big_endian("f", FLOATS),
                    "VECTORS v float\n", vectors),
        write_bytes("broken_truncated_binary.vtk", head, scalars, big_endian("f", FLOATS)[:-10]),
        write_bytes("broken_blank_before_binary.vtk", head, scalars, b"\n",
                    big_endian("f", FLOATS), b"\n"),
    ]


def rg_header(encoding="ASCII", title="hand-made rectilinear grid"):
    return "# vtk DataFile Version 3.0\n%s\n%s\nDATASET RECTILINEAR_GRID\nDIMENSIONS 3 4 2\n" % (
        title, encoding)


def hand_rectilinear():
    """Coordinates running into the next keyword, tabs after keywords, and
    coordinate types other than float."""
    body = float_scalars_ascii()
    return [
        write_bytes("hand_rect_run_in.vtk", rg_header(),
                    "X_COORDINATES 3 float\n0 0.5 2Y_COORDINATES 4 float\n"
                    "-1 0 1 3Z_COORDINATES 2 float\n5 7.5\n", body),
        write_bytes("hand_rect_tabs.vtk", rg_header(),
                    "X_COORDINATES\t3 float\n0 0.5 2\nY_COORDINATES\t4\tfloat\n-1 0 1 3\n"
                    "Z_COORDINATES 2\tfloat\t\n5 7.5\n", body),
        write_bytes("hand_rect_types_ascii.vtk", rg_header(),
                    "X_COORDINATES 3 double\n-0.1 0.2 0.30000000000000004\n"
                    "Y_COORDINATES 4 int\n-7 0 7 70000\nZ_COORDINATES 2 short\n-3 3\n", body),
        write_bytes("hand_rect_types_binary.vtk", rg_header("BINARY"),
                    "X_COORDINATES 3 double\n", big_endian("d", [-0.1, 0.2, 0.30000000000000004]),
                    "\nY_COORDINATES 4 int\n", big_endian("i", [-7, 0, 7, 70000]),
                    "\nZ_COORDINATES 2 float\n", big_endian("f", [5.0, 7.5]),
                    "\nPOINT_DATA 24\nSCALARS f float\nLOOKUP_TABLE default\n",
                    big_endian("f", FLOATS), b"\n"),
        write_bytes("hand_rect_decreasing.vtk", rg_header(),
                    "X_COORDINATES 3 float\n2 1 0\nY_COORDINATES 4 float\n3 3 1 0\n"
                    "Z_COORDINATES 2 float\n0 -1\n", body),
        write_bytes("hand_rect_no_z.vtk", rg_header(),
                    "X_COORDINATES 3 float\n0 0.5 2\nY_COORDINATES 4 float\n-1 0 1 3\n", body),
    ]


def hand_ascii_numbers():
    """Number words VTK's ASCII reader may or may not take."""
    def with_values(name, word, values):
        return write_bytes(name, sp_header(), GEOMETRY,
                           "POINT_DATA 24\nSCALARS s %s\nLOOKUP_TABLE default\n" % word,
                           ascii_numbers(values))
    return [
        with_values("hand_nan_words.vtk", "float",
                    FLOATS[:5] + ["nan", "inf", "-inf"] + FLOATS[8:]),
        with_values("hand_double_1e400.vtk", "double", FLOATS[:5] + ["1e400"] + FLOATS[6:]),
        with_values("hand_float_1e39.vtk", "float", FLOATS[:5] + ["1e39"] + FLOATS[6:]),
        with_values("hand_number_forms.vtk", "double",
                    ["+1", ".5", "-.5", "1e+2", "1E-2", "5.", "-0", "0.1e1"] + FLOATS[8:]),
        with_values("hand_unsigned_char_300.vtk", "unsigned_char",
                    [0, 300, 2, -1, 256, 255] + [(9 * p) % 256 for p in range(6, NPOINTS)]),
        with_values("hand_short_40000.vtk", "short", [0, 40000] + INTS[2:]),
        with_values("hand_int_fraction.vtk", "int", [0, "1.5"] + INTS[2:]),
        with_values("broken_ascii_too_few.vtk", "float", FLOATS[:-2]),
        with_values("broken_ascii_too_many.vtk", "float", FLOATS + [1, 2]),
    ]


def hand_broken_headers():
    return [
        write_bytes("broken_bad_magic.vtk", sp_header().replace("# vtk DataFile", "# VTK datafile"),
                    GEOMETRY, float_scalars_ascii()),
        write_bytes("broken_dimensions_two_numbers.vtk", sp_header(),
                    "DIMENSIONS 3 4\nSPACING 0.5 1 2.5\nORIGIN -1 0 10\n", float_scalars_ascii()),
        write_bytes("broken_count_mismatch.vtk", sp_header(), GEOMETRY,
                    float_scalars_ascii().replace("POINT_DATA 24", "POINT_DATA 20")),
        write_bytes("hand_version_9_9.vtk", sp_header("9.9"), GEOMETRY, float_scalars_ascii()),
    ]


def other_datasets():
    """Dataset types other than structured points and rectilinear grids."""
    def head(kind):
        return "# vtk DataFile Version 3.0\n%s\nASCII\nDATASET %s\n" % (kind.lower(), kind)
    points = "POINTS 4 float\n0 0 0 1 0 0 0 1 0 1 1 0.5\n"
    scalars = "POINT_DATA 4\nSCALARS s float\nLOOKUP_TABLE default\n1 2 3 4\n"
    return [
        write_bytes("other_polydata.vtk", head("POLYDATA"), points,
                    "POLYGONS 2 8\n3 0 1 2\n3 1 3 2\n", scalars),
        write_bytes("other_structured_grid.vtk", head("STRUCTURED_GRID"),
                    "DIMENSIONS 2 2 1\n", points, scalars),
        write_bytes("other_unstructured_grid.vtk", head("UNSTRUCTURED_GRID"), points,
                    "CELLS 1 5\n4 0 1 3 2\nCELL_TYPES 1\n8\n", scalars),
        write_bytes("other_field_only.vtk", "# vtk DataFile Version 3.0\nfield only\nASCII\n",
                    "FIELD results 2\nenergy 1 3 double\n1.5 2.5 -3\nsteps 2 1 int\n10 20\n"),
    ]


# ------------------------------------------- strings, as VisIt writes them

def string_array(name, components, values):
    array = vtk.vtkStringArray()
    array.SetName(name)
    array.SetNumberOfComponents(components)
    for value in values:
        array.InsertNextValue(value)
    return array


def visit_strings():
    """FIELD arrays of strings on the dataset, as VisIt writes them through VTK's
    writer (MeshName, VisItExpressions), with an empty string, a blank, a percent
    sign and UTF-8 among them; and by hand the other string framings that VTK's
    reader takes: utf8_string, variant pairs, and binary lengths of two, four and
    eight bytes."""
    data = image()
    data.GetPointData().SetScalars(sweep_array("float", "vtkFloatArray", -1234.5678, 98765.4321))
    data.GetFieldData().AddArray(string_array("MeshName", 1, ["mesh"]))
    data.GetFieldData().AddArray(string_array(
        "VisItExpressions", 3, ["speed", "scalar", "sqrt(u*u + v*v)", "", "a%b", "\u00e9t\u00e9"]))
    data.GetFieldData().AddArray(make_array("vtkDoubleArray", "avtOriginalBounds", 1, 6,
                                            [-1.0, 0.0, 0.0, 3.0, 10.0, 12.5]))
    names = write_both(data, "visit_strings", 42, "VTK File Generated by VisIt")

    def length(size):
        if size < 1 << 6:
            return bytes([0xc0 | size])
        if size < 1 << 14:
            return struct.pack(">H", 0x8000 | size)
        if size < 1 << 30:
            return struct.pack(">I", 0x40000000 | size)
        return struct.pack(">Q", size)
    long_name = "n" * 70
    framed = b"".join(length(len(text)) + text.encode("ascii") for text in ["mesh", long_name])
    wide = struct.pack(">I", 0x40000000 | 3) + b"abc" + struct.pack(">Q", 2) + b"de"
    head = sp_header(encoding="BINARY", title="VTK File Generated by VisIt")
    names.append(write_bytes(
        "hand_strings_binary.vtk", head, "FIELD FieldData 4\nMeshName 1 2 utf8_string\n", framed,
        "\nwide 2 1 string\n", wide, "\nkinds 2 1 variant\n6 12 11 0.5\n",
        "cycle 1 1 int\n", big_endian("i", [42]), "\n", GEOMETRY, "POINT_DATA 24\n",
        "SCALARS f float\nLOOKUP_TABLE default\n", big_endian("f", FLOATS), b"\n"))
    names.append(write_bytes(
        "hand_strings_ascii.vtk", sp_header(), GEOMETRY, float_scalars_ascii(),
        "FIELD FieldData 2\nlabels 1 3 string\nfirst label\n\n  third  \n",
        "kinds 2 1 variant\n6 12 11 abc\n"))
    return names


# --------------------------------------------- the converters' own dialect

VOX_SAMPLES = [(p * 2731) % 65536 for p in range(NPOINTS)]


def vox_files():
    """The converters' header: no DATASET line, two blanks after some keywords,
    payloads with nothing after them. Coordinate and location files are copied
    into the header as they are, so an ASCII one may or may not end in a line
    feed before the next keyword."""
    top = "# vtk DataFile Version 2.0\nOutput from %s\n%s\n"
    point_data = "POINT_DATA  24\nSCALARS scalars  unsigned_short\nLOOKUP_TABLE default\n"
    uniform = ("DIMENSIONS  3 4 2\nSPACING  1.000000 1.000000 1.000000\n"
               "ORIGIN  0.000000 0.000000 0.000000\n")
    samples = big_endian("H", VOX_SAMPLES)
    return [
        write_bytes("vox_uniform.vtk", top % ("voxeven", "BINARY"), uniform, point_data, samples),
        write_bytes("vox_uniform_with_dataset.vtk", top % ("voxeven", "BINARY"),
                    "DATASET STRUCTURED_POINTS\n", uniform, point_data, samples),
        write_bytes("vox_reference.vtk", top % ("voxeven", "BINARY_FILE samples.raw"), uniform,
                    point_data),
        write_bytes("vox_rectilinear_ascii.vtk", top % ("voxaxis", "BINARY"),
                    "DIMENSIONS  3 4 2\nX_COORDINATES 3 float\n0 0.5 1.5\n",
                    "Y_COORDINATES 4 float\n-1 0 1 2", "Z_COORDINATES 2 float\n7 9",
                    point_data, samples),
        write_bytes("vox_rectilinear_binary.vtk", top % ("voxaxis", "BINARY"),
                    "DIMENSIONS  3 4 2\nX_COORDINATES 3 float\n", big_endian("f", [0, 0.5, 1.5]),
                    "Y_COORDINATES 4 float\n", big_endian("f", [-1, 0, 1, 2]),
                    "Z_COORDINATES 2 float\n", big_endian("f", [7, 9]), point_data, samples),
        write_bytes("vox_slices.vtk", top % ("voxslab", "BINARY"),
                    "DIMENSIONS  3 4 2\nSPACING  1.000000 1.000000\nORIGIN  0.000000 0.000000\n"
                    "LOCATIONS 2 float\n", big_endian("f", [0.0, 2.5]), point_data, samples),
    ]


# ---------------------------------------------------------- ground truth

COLUMNS = ["file", "vtk", "dataset", "dimensions", "spacing", "origin", "x", "y", "z",
           "scalars", "type", "components", "tuples", "min", "max", "not_finite",
           "arrays", "roles", "warning", "why"]

DATASET_WORDS = {
    "vtkStructuredPoints": "structured_points",
    "vtkImageData": "structured_points",
    "vtkRectilinearGrid": "rectilinear_grid",
    "vtkPolyData": "polydata",
    "vtkStructuredGrid": "structured_grid",
    "vtkUnstructuredGrid": "unstructured_grid",
}


def messages(text):
    """VTK's output window text as (kind, first message line) pairs, with
    object addresses and file names taken out so that the lines are stable."""
    found = []
    for block in re.split(r"\n\s*\n", text):
        lines = [line.strip() for line in block.strip().splitlines() if line.strip()]
        if len(lines) < 2:
            continue
        kind = "error" if lines[0].startswith("ERROR") else "warning"
        line = re.sub(r" ?\(0x[0-9a-f]+\)", "", lines[1])
        line = re.sub(r" for file: .*$", "", line)
        line = "".join(c if " " <= c <= "~" else "\\x%02x" % ord(c) for c in line)
        found.append((kind, line))
    return found


def values_of(array):
    """All components of an array as a numpy array of the array's own type."""
    if array.GetDataType() == vtk.VTK_BIT:
        return np.array([array.GetValue(i) for i in range(array.GetNumberOfValues())], np.uint8)
    return numpy_support.vtk_to_numpy(array).ravel()


def number(value):
    """repr of a Python int for integer data, of a Python float for reals."""
    if isinstance(value, (np.integer, int)):
        return repr(int(value))
    return repr(float(value))


def value_range(array):
    values = values_of(array)
    if values.dtype.kind == "f":
        finite = values[np.isfinite(values)]
        not_finite = int(values.size - finite.size)
    else:
        finite, not_finite = values, 0
    if finite.size == 0:
        return "-", "-", str(not_finite)
    return number(finite.min()), number(finite.max()), str(not_finite)


def coordinates(array):
    if array is None:
        return "-"
    low, high, _ = value_range(array)
    return "%d:%s:%s" % (array.GetNumberOfTuples(), low, high)


def array_entries(output):
    """Every array except the active point scalars, with where it sits."""
    entries = []
    active = output.GetPointData().GetScalars()
    for where, data in (("point", output.GetPointData()), ("cell", output.GetCellData()),
                        ("field", output.GetFieldData())):
        for index in range(data.GetNumberOfArrays()):
            array = data.GetAbstractArray(index)
            if where == "point" and active is not None and array is active:
                continue
            entries.append("%s:%s:%d:%d" % (where, array.GetName(), array.GetNumberOfComponents(),
                                            array.GetNumberOfTuples()))
    return ",".join(entries) or "-"


def role_entries(output):
    """Which array is which attribute: scalars, vectors, normals and so on."""
    entries = []
    for where, data in (("point", output.GetPointData()), ("cell", output.GetCellData())):
        for role, getter in (("scalars", data.GetScalars), ("vectors", data.GetVectors),
                             ("normals", data.GetNormals), ("tcoords", data.GetTCoords),
                             ("tensors", data.GetTensors)):
            array = getter()
            if array is not None:
                entries.append("%s_%s=%s" % (where, role, array.GetName()))
    return ",".join(entries) or "-"


def read_with_vtk(path):
    """Read one file with vtkDataSetReader; the row of expected.tsv as a dict.

    The per-type reader that vtkDataSetReader runs inside reports through the
    output window only, so a vtkStringOutputWindow collects its messages; the
    observers collect what the outer reader and its executive report (an
    object with an ErrorEvent observer no longer writes to the window)."""
    window = vtk.vtkStringOutputWindow()
    vtk.vtkOutputWindow.SetInstance(window)
    observed = []

    @vtk.calldata_type(vtk.VTK_STRING)
    def collect(caller, event, text):
        observed.append(text or event)

    reader = vtk.vtkDataSetReader()
    reader.SetFileName(path)
    reader.AddObserver("ErrorEvent", collect)
    reader.GetExecutive().AddObserver("ErrorEvent", collect)
    reader.Update()
    output = reader.GetOutput()
    found = messages(window.GetOutput()) + messages("\n\n".join(observed))
    vtk.vtkOutputWindow.SetInstance(None)

    # Errors, and VTK's data-read failures (which it reports as a generic
    # warning beginning "Error reading"), make a file refused.
    refusals = []
    for kind, line in found:
        if (kind == "error" or line.startswith("Error reading")) and line not in refusals:
            refusals.append(line)
    warnings = [line for kind, line in found if kind == "warning" and line not in refusals]
    row = dict.fromkeys(COLUMNS, "-")
    row["file"] = os.path.basename(path)
    empty = output is None or output.GetNumberOfPoints() == 0
    if refusals or empty:
        row["vtk"] = "error"
        # The pipeline's "did not create output" only repeats a reader's refusal.
        causes = [line for line in refusals if "did not create output" not in line]
        row["why"] = " | ".join(causes or refusals) or "empty output"
        return row

    row["vtk"] = "ok"
    row["warning"] = " | ".join(dict.fromkeys(warnings)) or "-"
    row["dataset"] = DATASET_WORDS.get(output.GetClassName(), output.GetClassName())
    if output.IsA("vtkImageData"):
        row["spacing"] = " ".join(number(v) for v in output.GetSpacing())
        row["origin"] = " ".join(number(v) for v in output.GetOrigin())
    if output.IsA("vtkRectilinearGrid"):
        row["x"] = coordinates(output.GetXCoordinates())
        row["y"] = coordinates(output.GetYCoordinates())
        row["z"] = coordinates(output.GetZCoordinates())
    if output.IsA("vtkImageData") or output.IsA("vtkRectilinearGrid") or output.IsA(
            "vtkStructuredGrid"):
        row["dimensions"] = " ".join(str(v) for v in output.GetDimensions())
    scalars = output.GetPointData().GetScalars()
    if scalars is not None:
        row["scalars"] = scalars.GetName()
        row["type"] = TYPE_WORDS[scalars.GetDataType()]
        row["components"] = str(scalars.GetNumberOfComponents())
        row["tuples"] = str(scalars.GetNumberOfTuples())
        row["min"], row["max"], row["not_finite"] = value_range(scalars)
    row["arrays"] = array_entries(output)
    row["roles"] = role_entries(output)
    return row


def write_expected(names):
    with open(EXPECTED, "w", encoding="utf-8", newline="\n") as out:
        out.write("\t".join(COLUMNS) + "\n")
        for name in sorted(names):
            row = read_with_vtk(os.path.join(FILES, name))
            out.write("\t".join(row[column] for column in COLUMNS) + "\n")


# ------------------------------------------------------------------ main

def main():
    vtk.vtkLogger.SetStderrVerbosity(vtk.vtkLogger.VERBOSITY_OFF)
    os.makedirs(FILES, exist_ok=True)
    for old in os.listdir(FILES):
        if old.endswith(".vtk"):
            os.remove(os.path.join(FILES, old))
    groups = [vtk_type_sweep, vtk_components, vtk_attributes, vtk_tensors6,
              vtk_lookup_table, vtk_metadata, vtk_not_finite, vtk_cell_only,
              hand_versions, hand_geometry_forms, hand_layout, hand_scalars, hand_section_order,
              hand_colors, hand_binary_payloads, hand_rectilinear, hand_ascii_numbers,
              hand_broken_headers, other_datasets, visit_strings, vox_files]
    names = []
    for group in groups:
        names += group()
    if len(names) != len(set(names)):
        sys.exit("two fixtures share a name")
    write_expected(names)
    print("%d fixtures, %s" % (len(names), os.path.relpath(EXPECTED)))


if __name__ == "__main__":
    main()
