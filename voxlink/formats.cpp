#include "formats.hpp"

#include "text.hpp"
#include "values.hpp"
#include "zarr.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace vox::companion {

namespace {

using legacy::format_number;
using legacy::number_kind;
using legacy::to_text;

// Each format's name for the values of a type: by kind and size, as the type table of the layout
// gives them; empty where the format's readers cannot read them. Bits have none anywhere.
struct type_names {
    number_kind kind;
    unsigned size;
    std::string_view xdmf;      // NumberType; the size is its Precision
    std::string_view metaimage; // ElementType
    std::string_view nrrd;      // type
};

constexpr type_names type_table[] = {
    {number_kind::unsigned_integer, 1, "UChar", "MET_UCHAR", "uchar"},
    {number_kind::signed_integer, 1, "Char", "MET_CHAR", "signed char"},
    {number_kind::unsigned_integer, 2, "UShort", "MET_USHORT", "ushort"},
    {number_kind::signed_integer, 2, "Short", "MET_SHORT", "short"},
    {number_kind::unsigned_integer, 4, "UInt", "MET_UINT", "uint"},
    {number_kind::signed_integer, 4, "Int", "MET_INT", "int"},
    // XDMF's readers in ParaView read UInt 8 as 4 bytes; VTK's and ParaView's MetaImage readers
    // fail on MET_LONG_LONG and MET_ULONG_LONG (MET_LONG is 4 bytes).
    {number_kind::unsigned_integer, 8, "", "", "uint64"},
    {number_kind::signed_integer, 8, "Int", "", "int64"},
    {number_kind::floating, 4, "Float", "MET_FLOAT", "float"},
    {number_kind::floating, 8, "Float", "MET_DOUBLE", "double"},
};

const type_names* names_of(const legacy::type_info* type) {
    if (type == nullptr) {
        return nullptr;
    }
    const auto found =
        std::find_if(std::begin(type_table), std::end(type_table), [type](const type_names& n) {
            return n.kind == type->kind && n.size == type->size;
        });
    return found != std::end(type_table) ? found : nullptr;
}

const std::vector<format_info> table = {
    {format::xdmf, "XDMF", ".xmf", "ParaView, VisIt"},
    {format::metaimage, "MetaImage", ".mhd", "ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, Fiji"},
    {format::nrrd, "NRRD", ".nhdr", "teem, ITK, 3D Slicer, Fiji, pynrrd"},
    // Zarr reference: its writer lives in zarr.cpp.
    {format::zarr, "Zarr reference", ".zarr.json", "zarr, xarray, Dask"},
};

std::string numbers(const std::vector<double>& values, std::string_view between = " ") {
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        out += (i == 0 ? "" : std::string(between)) + format_number(values[i]);
    }
    return out;
}

// The three values of a spacing or origin, x first (or z first, `reversed`), each as short as
// the precision of the values it came from allows.
std::string per_axis(const target& t, const std::array<double, 3>& values,
                     std::string_view between = " ", bool reversed = false) {
    std::string out;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t axis = reversed ? 2 - i : i;
        out += (i == 0 ? "" : std::string(between)) + format_number(values[axis], t.single[axis]);
    }
    return out;
}

std::string xml_escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A name that a line-oriented header can hold as the data file: no line end, no blank at either
// end, and nothing that MetaImage or NRRD take for a list or a numbered series of files.
bool plain_name(std::string_view name) {
    return !name.empty() && name.find_first_of("\n\r%") == std::string_view::npos &&
           name.front() != ' ' && name.back() != ' ' && name != "LIST" && name != "LOCAL";
}

// What the formats that describe one spacing and origin per axis cannot describe.
std::string uniform_refusal(const target& t) {
    if (!t.uniform) {
        if (t.model.grid == legacy::grid_kind::rectilinear) {
            return "a rectilinear grid has no single spacing along each axis";
        }
        return "the slice locations are not equally spaced";
    }
    for (std::size_t axis = 0; axis < 3; ++axis) {
        if (!(t.spacing[axis] > 0) && t.dimensions[axis] > 1) {
            return std::string("the ") + "xyz"[axis] + " spacing is " +
                   format_number(t.spacing[axis]) + "; only spacings above 0 are described";
        }
    }
    return {};
}

// The spacing as a format writes it: that of an axis of one point is any, so 1 where the file
// gives none above 0.
std::array<double, 3> written_spacings(const target& t) {
    std::array<double, 3> out{};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        out[axis] = t.spacing[axis] > 0 ? t.spacing[axis] : 1;
    }
    return out;
}

std::string xdmf_binary_item(const place& p, const std::string& dimensions, const type_names& names,
                             const std::string& name) {
    return "<DataItem Dimensions=\"" + dimensions + "\" NumberType=\"" + std::string(names.xdmf) +
           "\" Precision=\"" + to_text(p.type->size) + "\" Format=\"Binary\" Endian=\"" +
           (p.little_endian ? "Little" : "Big") + "\" Seek=\"" + to_text(p.offset) + "\">" +
           xml_escaped(name) + "</DataItem>";
}

// What ParaView's XDMF readers read right: Xdmf3ReaderS, which opens .xmf files, seeks no
// further than 32 bits; XDMFReader reads no array of 2^31 values or more, nor of a little less.
constexpr std::uint64_t xdmf_most_seek = 0xffffffffULL;
constexpr legacy::uint128 xdmf_most_values = (legacy::uint128{1} << 31) - 65536;

companion xdmf(const target& t, const std::function<std::string(const std::string&)>& name_of) {
    if (t.text) {
        return {{}, "the samples are text (ASCII), which XDMF can only hold in itself"};
    }
    if (t.components != 1 && t.components != 3) {
        return {{},
                "samples of " + to_text(t.components) +
                    " components a point; XDMF describes one or three"};
    }
    const legacy::uint128 values =
        legacy::uint128{t.dimensions[0]} * t.dimensions[1] * t.dimensions[2] * t.components;
    if (values > xdmf_most_values) {
        return {{},
                to_text(values) + " values, more than ParaView's XDMF readers read (" +
                    to_text(xdmf_most_values) + ")"};
    }
    const type_names* names = names_of(t.samples.type);
    std::string dims =
        to_text(t.dimensions[2]) + " " + to_text(t.dimensions[1]) + " " + to_text(t.dimensions[0]);
    std::string geometry;
    if (t.model.grid == legacy::grid_kind::uniform) {
        geometry = "      <Topology TopologyType=\"3DCoRectMesh\" Dimensions=\"" + dims +
                   "\"/>\n      <Geometry GeometryType=\"ORIGIN_DXDYDZ\">\n"
                   "        <DataItem Name=\"Origin\" Dimensions=\"3\" NumberType=\"Float\" "
                   "Precision=\"8\" Format=\"XML\">" +
                   per_axis(t, t.origin, " ", true) +
                   "</DataItem>\n"
                   "        <DataItem Name=\"Spacing\" Dimensions=\"3\" NumberType=\"Float\" "
                   "Precision=\"8\" Format=\"XML\">" +
                   per_axis(t, t.spacing, " ", true) + "</DataItem>\n      </Geometry>\n";
    } else {
        geometry = "      <Topology TopologyType=\"3DRectMesh\" Dimensions=\"" + dims +
                   "\"/>\n      <Geometry GeometryType=\"VXVYVZ\">\n";
        for (std::size_t axis = 0; axis < 3; ++axis) {
            const std::string count = to_text(t.dimensions[axis]);
            const std::optional<place>& p = t.line_values[axis];
            if (p) {
                const type_names* line_names = names_of(p->type);
                const std::string name = name_of(p->path);
                if (line_names == nullptr || line_names->xdmf.empty()) {
                    return {{},
                            std::string("the ") + "xyz"[axis] + " coordinates are of type " +
                                p->type_word + ", which the readers of XDMF cannot read"};
                }
                if (name.empty()) {
                    return {{}, "the data file cannot be named from the companion's folder"};
                }
                if (p->offset > xdmf_most_seek) {
                    return {{},
                            std::string("the ") + "xyz"[axis] + " coordinates start past " +
                                "byte 2^32, where ParaView's XDMF reader cannot seek"};
                }
                geometry += "        " + xdmf_binary_item(*p, count, *line_names, name) + "\n";
            } else {
                geometry += "        <DataItem Dimensions=\"" + count +
                            "\" NumberType=\"Float\" Precision=\"8\" Format=\"XML\">" +
                            numbers(t.lines[axis]) + "</DataItem>\n";
            }
        }
        geometry += "      </Geometry>\n";
    }
    const std::string name = name_of(t.samples.path);
    if (name.empty()) {
        return {{}, "the data file cannot be named from the companion's folder"};
    }
    if (t.samples.offset > xdmf_most_seek) {
        return {{}, "the samples start past byte 2^32, where ParaView's XDMF reader cannot seek"};
    }
    const std::string title = t.path.substr(t.path.rfind('/') + 1);
    const char* kind = t.components == 1 ? "Scalar" : "Vector";
    if (t.components != 1) {
        dims += " " + to_text(t.components);
    }
    std::string text = "<?xml version=\"1.0\" ?>\n<!DOCTYPE Xdmf SYSTEM \"Xdmf.dtd\" []>\n"
                       "<Xdmf Version=\"2.0\">\n  <Domain>\n    <Grid Name=\"" +
                       xml_escaped(legacy::printable(title)) + "\" GridType=\"Uniform\">\n" +
                       geometry + "      <Attribute Name=\"" +
                       xml_escaped(legacy::printable(t.model.arrays[*t.model.samples].name)) +
                       "\" AttributeType=\"" + kind + "\" Center=\"Node\">\n        " +
                       xdmf_binary_item(t.samples, dims, *names, name) +
                       "\n      </Attribute>\n    </Grid>\n  </Domain>\n</Xdmf>\n";
    return {text, {}};
}

// VTK's and ITK's MetaImage readers take a HeaderSize below 2^31 alone: past it they read zeros.
// -1 means the samples are the last bytes of the file, as they are in the converters' files.
constexpr std::uint64_t metaimage_most_header = 0x7fffffffULL;

companion metaimage(const target& t,
                    const std::function<std::string(const std::string&)>& name_of) {
    if (std::string why = uniform_refusal(t); !why.empty()) {
        return {{}, why};
    }
    if (t.text && t.samples_not_finite) {
        return {{},
                "the samples as text hold nan or inf, after which VTK's MetaImage reader "
                "reads zeros"};
    }
    const std::string name = name_of(t.samples.path);
    if (!plain_name(name)) {
        return {{}, "the data file cannot be named in a MetaImage header from its folder"};
    }
    std::string header_size = to_text(t.samples.offset);
    if (t.samples.offset > metaimage_most_header) {
        if (!t.samples_end_file) {
            return {{},
                    "the samples start past byte 2^31 and do not end the file; MetaImage "
                    "readers seek no further"};
        }
        header_size = "-1";
    }
    std::string text = "ObjectType = Image\nNDims = 3\n";
    if (t.text) {
        text += "BinaryData = False\n";
    } else {
        const char* msb = t.samples.little_endian ? "False" : "True";
        text += "BinaryData = True\n";
        text += std::string("BinaryDataByteOrderMSB = ") + msb + "\n";
        text += std::string("ElementByteOrderMSB = ") + msb + "\n";
    }
    text += "CompressedData = False\n";
    text += "DimSize = " + to_text(t.dimensions[0]) + " " + to_text(t.dimensions[1]) + " " +
            to_text(t.dimensions[2]) + "\n";
    text += "ElementSpacing = " + per_axis(t, written_spacings(t)) + "\n";
    text += "Offset = " + per_axis(t, t.origin) + "\n";
    if (t.components != 1) {
        text += "ElementNumberOfChannels = " + to_text(t.components) + "\n";
    }
    text += "ElementType = " + std::string(names_of(t.samples.type)->metaimage) + "\n";
    text += "HeaderSize = " + header_size + "\n";
    // Last: the readers take what follows it for the samples.
    text += "ElementDataFile = " + name + "\n";
    return {text, {}};
}

companion nrrd(const target& t, const std::function<std::string(const std::string&)>& name_of) {
    if (std::string why = uniform_refusal(t); !why.empty()) {
        return {{}, why};
    }
    const std::string name = name_of(t.samples.path);
    if (!plain_name(name)) {
        return {{}, "the data file cannot be named in a NRRD header from its folder"};
    }
    const bool vector = t.components != 1;
    const std::array<double, 3> spacing = written_spacings(t);
    std::string text = "NRRD0004\n";
    text += "# The samples are in the data file, from the byte after those skipped.\n";
    text += "type: " + std::string(names_of(t.samples.type)->nrrd) + "\n";
    text += vector ? "dimension: 4\n" : "dimension: 3\n";
    // A space of no anatomical frame: readers take the positions as written (ITK turns those of
    // right-anterior-superior into its own frame).
    text += "space: 3D-right-handed\n";
    text += "sizes: " + (vector ? to_text(t.components) + " " : std::string()) +
            to_text(t.dimensions[0]) + " " + to_text(t.dimensions[1]) + " " +
            to_text(t.dimensions[2]) + "\n";
    text += std::string("space directions: ") + (vector ? "none " : "") + "(" +
            format_number(spacing[0], t.single[0]) + ",0,0) (0," +
            format_number(spacing[1], t.single[1]) + ",0) (0,0," +
            format_number(spacing[2], t.single[2]) + ")\n";
    text += vector ? "kinds: vector domain domain domain\n" : "kinds: domain domain domain\n";
    text += "space origin: (" + per_axis(t, t.origin, ",") + ")\n";
    if (!t.text && t.samples.type->size > 1) {
        text += std::string("endian: ") + (t.samples.little_endian ? "little" : "big") + "\n";
    }
    text += t.text ? "encoding: ascii\n" : "encoding: raw\n";
    text += "byte skip: " + to_text(t.samples.offset) + "\n";
    text += "data file: " + name + "\n";
    return {text, {}};
}

} // namespace

const std::vector<format_info>& formats() {
    return table;
}

const format_info& info(format which) {
    return *std::find_if(table.begin(), table.end(),
                         [which](const format_info& f) { return f.which == which; });
}

std::optional<format> format_of(std::string_view path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::nullopt;
    }
    const std::string_view extension = path.substr(dot);
    if (extension == ".xmf" || extension == ".xdmf") {
        return format::xdmf;
    }
    if (extension == ".mhd") {
        return format::metaimage;
    }
    if (extension == ".nhdr") {
        return format::nrrd;
    }
    if (extension == ".json") {
        return format::zarr;
    }
    return std::nullopt;
}

companion describe(format which, const target& t,
                   const std::function<std::string(const std::string&)>& name_of) {
    if (which == format::zarr) { // numpy's types, its refusals and its chunks of its own
        return zarr_reference(t, name_of, chunk_aim_here());
    }
    const std::string name(info(which).name);
    const type_names* names = names_of(t.samples.type);
    const std::string_view word = names == nullptr             ? std::string_view{}
                                  : which == format::xdmf      ? names->xdmf
                                  : which == format::metaimage ? names->metaimage
                                                               : names->nrrd;
    if (word.empty()) {
        return {{},
                "samples of type " + t.samples.type_word + ", which the readers of " + name +
                    " cannot read"};
    }
    switch (which) {
    case format::xdmf:
        return xdmf(t, name_of);
    case format::metaimage:
        return metaimage(t, name_of);
    case format::nrrd:
        return nrrd(t, name_of);
    case format::zarr:
        break;
    }
    return {};
}

} // namespace vox::companion
