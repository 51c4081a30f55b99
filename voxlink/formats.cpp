#include "formats.hpp"

#include "text.hpp"
#include "values.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace vox::companion {

namespace {

using legacy::format_number;
using legacy::number_kind;
using legacy::to_text;

// Each format's name for the values of a type: by kind and size, as the type table of the layout
// gives them. Bits have none anywhere.
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
    {number_kind::unsigned_integer, 8, "UInt", "MET_ULONG_LONG", "ulonglong"},
    {number_kind::signed_integer, 8, "Int", "MET_LONG_LONG", "longlong"},
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

companion xdmf(const target& t, const std::function<std::string(const std::string&)>& name_of) {
    const type_names* names = names_of(t.samples.type);
    const std::string dims =
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
                if (line_names == nullptr) {
                    return {{},
                            "the " + std::string("xyz").substr(axis, 1) +
                                " coordinates are of type " + p->type_word +
                                ", which XDMF has no type for"};
                }
                if (name.empty()) {
                    return {{}, "the data file cannot be named from the companion's folder"};
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
    const std::string title = t.path.substr(t.path.rfind('/') + 1);
    std::string text = "<?xml version=\"1.0\" ?>\n<!DOCTYPE Xdmf SYSTEM \"Xdmf.dtd\" []>\n"
                       "<Xdmf Version=\"2.0\">\n  <Domain>\n    <Grid Name=\"" +
                       xml_escaped(legacy::printable(title)) + "\" GridType=\"Uniform\">\n" +
                       geometry + "      <Attribute Name=\"" +
                       xml_escaped(legacy::printable(t.model.arrays[*t.model.samples].name)) +
                       "\" AttributeType=\"Scalar\" Center=\"Node\">\n        " +
                       xdmf_binary_item(t.samples, dims, *names, name) +
                       "\n      </Attribute>\n    </Grid>\n  </Domain>\n</Xdmf>\n";
    return {text, {}};
}

companion metaimage(const target& t,
                    const std::function<std::string(const std::string&)>& name_of) {
    if (std::string why = uniform_refusal(t); !why.empty()) {
        return {{}, why};
    }
    const std::string name = name_of(t.samples.path);
    if (!plain_name(name)) {
        return {{}, "the data file cannot be named in a MetaImage header from its folder"};
    }
    const bool msb = !t.samples.little_endian;
    std::string text = "ObjectType = Image\nNDims = 3\nBinaryData = True\n";
    text += std::string("BinaryDataByteOrderMSB = ") + (msb ? "True" : "False") + "\n";
    text += std::string("ElementByteOrderMSB = ") + (msb ? "True" : "False") + "\n";
    text += "CompressedData = False\n";
    text += "DimSize = " + to_text(t.dimensions[0]) + " " + to_text(t.dimensions[1]) + " " +
            to_text(t.dimensions[2]) + "\n";
    text += "ElementSpacing = " + per_axis(t, written_spacings(t)) + "\n";
    text += "Offset = " + per_axis(t, t.origin) + "\n";
    text += "ElementType = " + std::string(names_of(t.samples.type)->metaimage) + "\n";
    text += "HeaderSize = " + to_text(t.samples.offset) + "\n";
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
    std::string text = "NRRD0004\n";
    text += "# The samples are in the data file, from the byte after those skipped.\n";
    text += "type: " + std::string(names_of(t.samples.type)->nrrd) + "\n";
    text += "dimension: 3\n";
    text += "space: 3D-right-handed\n";
    text += "sizes: " + to_text(t.dimensions[0]) + " " + to_text(t.dimensions[1]) + " " +
            to_text(t.dimensions[2]) + "\n";
    const std::array<double, 3> spacing = written_spacings(t);
    text += "space directions: (" + format_number(spacing[0], t.single[0]) + ",0,0) (0," +
            format_number(spacing[1], t.single[1]) + ",0) (0,0," +
            format_number(spacing[2], t.single[2]) + ")\n";
    text += "kinds: domain domain domain\n";
    text += "space origin: (" + per_axis(t, t.origin, ",") + ")\n";
    if (t.samples.type->size > 1) {
        text += std::string("endian: ") + (t.samples.little_endian ? "little" : "big") + "\n";
    }
    text += "encoding: raw\n";
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
    return std::nullopt;
}

companion describe(format which, const target& t,
                   const std::function<std::string(const std::string&)>& name_of) {
    // What no format can describe.
    if (t.text) {
        return {{},
                "the samples are text (ASCII), which no reader of a " +
                    std::string(info(which).name) + " header reads in place"};
    }
    if (names_of(t.samples.type) == nullptr) {
        return {{},
                "samples of type " + t.samples.type_word + ", which " +
                    std::string(info(which).name) + " has no type for"};
    }
    if (t.components != 1) {
        return {{},
                "samples of " + to_text(t.components) +
                    " components a point; only one a point is described"};
    }
    switch (which) {
    case format::xdmf:
        return xdmf(t, name_of);
    case format::metaimage:
        return metaimage(t, name_of);
    case format::nrrd:
        return nrrd(t, name_of);
    }
    return {};
}

} // namespace vox::companion
