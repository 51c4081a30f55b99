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
using legacy::to_text;

// The types as each format names them; a format lists only those its readers read. Bits have
// none anywhere.
using legacy::number_kind;
const std::vector<type_name> xdmf_types = {
    // NumberType; the size is its Precision. ParaView's XDMF readers read UInt 8 as 4 bytes.
    {number_kind::unsigned_integer, 1, "UChar"},  {number_kind::signed_integer, 1, "Char"},
    {number_kind::unsigned_integer, 2, "UShort"}, {number_kind::signed_integer, 2, "Short"},
    {number_kind::unsigned_integer, 4, "UInt"},   {number_kind::signed_integer, 4, "Int"},
    {number_kind::signed_integer, 8, "Int"},      {number_kind::floating, 4, "Float"},
    {number_kind::floating, 8, "Float"},
};
const std::vector<type_name> metaimage_types = {
    // VTK's and ParaView's MetaImage readers fail on MET_LONG_LONG and MET_ULONG_LONG (MET_LONG
    // is 4 bytes).
    {number_kind::unsigned_integer, 1, "MET_UCHAR"},  {number_kind::signed_integer, 1, "MET_CHAR"},
    {number_kind::unsigned_integer, 2, "MET_USHORT"}, {number_kind::signed_integer, 2, "MET_SHORT"},
    {number_kind::unsigned_integer, 4, "MET_UINT"},   {number_kind::signed_integer, 4, "MET_INT"},
    {number_kind::floating, 4, "MET_FLOAT"},          {number_kind::floating, 8, "MET_DOUBLE"},
};
const std::vector<type_name> nrrd_types = {
    {number_kind::unsigned_integer, 1, "uchar"},  {number_kind::signed_integer, 1, "signed char"},
    {number_kind::unsigned_integer, 2, "ushort"}, {number_kind::signed_integer, 2, "short"},
    {number_kind::unsigned_integer, 4, "uint"},   {number_kind::signed_integer, 4, "int"},
    {number_kind::unsigned_integer, 8, "uint64"}, {number_kind::signed_integer, 8, "int64"},
    {number_kind::floating, 4, "float"},          {number_kind::floating, 8, "double"},
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

// Text for an XML 1.0 document, as an attribute's value (in double quotes) or an element's
// text: the five marks escaped, and U+FFFD for what XML cannot carry (a control character, a
// byte that is no UTF-8, U+FFFE and U+FFFF). For labels; a name that must lead to a file is
// refused instead (below).
std::string xml_escaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const legacy::utf8_char c = legacy::first_char(text.substr(i));
        switch (c.length == 0 ? U'\0' : c.code) {
        case U'&':
            out += "&amp;";
            break;
        case U'<':
            out += "&lt;";
            break;
        case U'>':
            out += "&gt;";
            break;
        case U'"':
            out += "&quot;";
            break;
        case U'\'':
            out += "&apos;";
            break;
        default:
            if (c.length == 0 || c.code < 0x20 || c.code == 0xfffe || c.code == 0xffff) {
                out += "\xef\xbf\xbd";
            } else {
                out += text.substr(i, c.length);
            }
        }
        i += std::max<std::size_t>(c.length, 1);
    }
    return out;
}

constexpr std::string_view unnamed = "the data file cannot be named from the companion's folder";

// Why XDMF cannot name the data file `name`, as the text of a DataItem: XML 1.0 cannot carry
// it, or its readers would read another name; empty when it can.
std::string xml_name_problem(std::string_view name) {
    if (name.empty()) {
        return std::string(unnamed);
    }
    const std::string named = "the data file's name " + std::string(name);
    if (name.front() == ' ' || name.back() == ' ') {
        return named + " begins or ends with a blank, which XDMF readers drop";
    }
    for (std::size_t i = 0; i < name.size();) {
        const legacy::utf8_char c = legacy::first_char(name.substr(i));
        if (c.length == 0) {
            return named + " holds bytes that are not UTF-8, which XML 1.0 cannot carry";
        }
        // XML 1.0 has tab and the line ends, but its readers take them for blanks.
        if (c.code < 0x20 || c.code == 0xfffe || c.code == 0xffff) {
            return named + " holds a control character, which XML 1.0 cannot carry";
        }
        i += c.length;
    }
    return {};
}

// Why a header of lines (MetaImage's, NRRD's) cannot name the data file `name`; empty when it
// can. Neither has a way to escape a character.
std::string line_name_problem(std::string_view name, std::string_view format) {
    if (name.empty()) {
        return std::string(unnamed);
    }
    const std::string named = "the data file's name " + std::string(name);
    const std::string readers = std::string(format) + " readers";
    if (name.find_first_of("\n\r") != std::string_view::npos) {
        return named + " holds a line end, which ends the header's line";
    }
    if (name.find('%') != std::string_view::npos) {
        return named + " holds %, which " + readers + " take for a numbered series of files";
    }
    if (name.front() == ' ' || name.back() == ' ') {
        return named + " begins or ends with a blank, which " + readers + " drop";
    }
    if (name == "LIST" || name == "LOCAL") {
        return named + " is a word that " + readers +
               " take for a list of files, or for the header itself";
    }
    return {};
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

std::string xdmf_binary_item(const place& p, const std::string& dimensions, std::string_view type,
                             const std::string& name) {
    return "<DataItem Dimensions=\"" + dimensions + "\" NumberType=\"" + std::string(type) +
           "\" Precision=\"" + to_text(p.type->size) + "\" Format=\"Binary\" Endian=\"" +
           (p.little_endian ? "Little" : "Big") + "\" Seek=\"" + to_text(p.offset) + "\">" +
           xml_escaped(name) + "</DataItem>";
}

// What ParaView's XDMF readers read right: Xdmf3ReaderS, which opens .xmf files, seeks no
// further than 32 bits; XDMFReader reads no array of 2^31 values or more, nor of a little less.
constexpr std::uint64_t xdmf_most_seek = 0xffffffffULL;
constexpr legacy::uint128 xdmf_most_values = (legacy::uint128{1} << 31) - 65536;

companion xdmf(const target& t, std::string_view type, const namer& name_of) {
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
                const std::string_view line_type = word_for(xdmf_types, p->type);
                const std::string name = name_of.relative(p->path);
                if (line_type.empty()) {
                    return {{},
                            std::string("the ") + "xyz"[axis] + " coordinates are of type " +
                                p->type_word + ", which the readers of XDMF cannot read"};
                }
                if (std::string why = xml_name_problem(name); !why.empty()) {
                    return {{}, why};
                }
                if (p->offset > xdmf_most_seek) {
                    return {{},
                            std::string("the ") + "xyz"[axis] + " coordinates start past " +
                                "byte 2^32, where ParaView's XDMF reader cannot seek"};
                }
                geometry += "        " + xdmf_binary_item(*p, count, line_type, name) + "\n";
            } else {
                geometry += "        <DataItem Dimensions=\"" + count +
                            "\" NumberType=\"Float\" Precision=\"8\" Format=\"XML\">" +
                            numbers(t.lines[axis]) + "</DataItem>\n";
            }
        }
        geometry += "      </Geometry>\n";
    }
    const std::string name = name_of.relative(t.samples.path);
    if (std::string why = xml_name_problem(name); !why.empty()) {
        return {{}, why};
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
                       xdmf_binary_item(t.samples, dims, type, name) +
                       "\n      </Attribute>\n    </Grid>\n  </Domain>\n</Xdmf>\n";
    return {text, {}};
}

// VTK's and ITK's MetaImage readers take a HeaderSize below 2^31 alone: past it they read zeros.
// -1 means the samples are the last bytes of the file, as they are in the converters' files.
constexpr std::uint64_t metaimage_most_header = 0x7fffffffULL;

companion metaimage(const target& t, std::string_view type, const namer& name_of) {
    if (std::string why = uniform_refusal(t); !why.empty()) {
        return {{}, why};
    }
    if (t.text && t.samples_not_finite) {
        return {{},
                "the samples as text hold nan or inf, after which VTK's MetaImage reader "
                "reads zeros"};
    }
    const std::string name = name_of.relative(t.samples.path);
    if (std::string why = line_name_problem(name, "MetaImage"); !why.empty()) {
        return {{}, why};
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
    text += "ElementType = " + std::string(type) + "\n";
    text += "HeaderSize = " + header_size + "\n";
    // Last: the readers take what follows it for the samples.
    text += "ElementDataFile = " + name + "\n";
    return {text, {}};
}

companion nrrd(const target& t, std::string_view type, const namer& name_of) {
    if (std::string why = uniform_refusal(t); !why.empty()) {
        return {{}, why};
    }
    const std::string name = name_of.relative(t.samples.path);
    if (std::string why = line_name_problem(name, "NRRD"); !why.empty()) {
        return {{}, why};
    }
    const bool vector = t.components != 1;
    const std::array<double, 3> spacing = written_spacings(t);
    std::string text = "NRRD0004\n";
    text += "# The samples are in the data file, from the byte after those skipped.\n";
    text += "type: " + std::string(type) + "\n";
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

std::string_view word_for(const std::vector<type_name>& names, const legacy::type_info* type) {
    if (type == nullptr) {
        return {};
    }
    const auto found = std::find_if(names.begin(), names.end(), [type](const type_name& n) {
        return n.kind == type->kind && n.size == type->size;
    });
    return found != names.end() ? found->word : std::string_view{};
}

const std::vector<format_record>& formats() {
    static const std::vector<format_record> table = {
        {"XDMF", {".xmf", ".xdmf"}, ".xmf", "any grid", "ParaView, VisIt", xdmf_types, xdmf},
        {"MetaImage",
         {".mhd"},
         ".mhd",
         "uniform grids",
         "ParaView, VTK, ITK, 3D Slicer, ITK-SNAP, Fiji",
         metaimage_types,
         metaimage},
        {"NRRD",
         {".nhdr"},
         ".nhdr",
         "uniform grids",
         "teem, ITK, 3D Slicer, Fiji, pynrrd",
         nrrd_types,
         nrrd},
        {"Zarr reference",
         {".json"},
         ".zarr.json",
         "binary samples",
         "zarr, xarray, Dask",
         zarr_types,
         zarr},
    };
    return table;
}

const format_record* format_of(std::string_view path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return nullptr;
    }
    for (const format_record& f : formats()) {
        if (std::find(f.extensions.begin(), f.extensions.end(), path.substr(dot)) !=
            f.extensions.end()) {
            return &f;
        }
    }
    return nullptr;
}

std::string extension_list() {
    std::vector<std::string_view> all;
    for (const format_record& f : formats()) {
        all.insert(all.end(), f.extensions.begin(), f.extensions.end());
    }
    std::string out;
    for (std::size_t i = 0; i < all.size(); ++i) {
        out += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + std::string(all[i]);
    }
    return out;
}

std::string usage_list() {
    // "  .xmf, .xdmf  XDMF: any grid (ParaView, VisIt)", the words wrapped within 80 columns
    // under the column of the names.
    constexpr std::size_t indent = 15, width = 80;
    std::string out;
    for (const format_record& f : formats()) {
        std::string line = " ";
        for (std::size_t i = 0; i < f.extensions.size(); ++i) {
            line += (i == 0 ? " " : ", ") + std::string(f.extensions[i]);
        }
        line += std::string(line.size() < indent ? indent - line.size() : 1, ' ');
        const std::string words =
            std::string(f.name) + ": " + std::string(f.grids) + " (" + std::string(f.readers) + ")";
        bool first = true; // of its line
        for (std::size_t start = 0; start < words.size();) {
            std::size_t end = words.find(' ', start);
            end = end == std::string::npos ? words.size() : end;
            const std::string_view word(words.data() + start, end - start);
            if (!first && line.size() + 1 + word.size() > width) {
                out += line + "\n";
                line = std::string(indent, ' ');
                first = true;
            }
            line += (first ? "" : " ") + std::string(word);
            first = false;
            start = end + 1;
        }
        out += line + "\n";
    }
    return out;
}

companion describe(const format_record& format, const target& t, const namer& name_of) {
    const std::string_view type = word_for(format.types, t.samples.type);
    if (type.empty()) {
        return {{},
                "samples of type " + t.samples.type_word + ", which the readers of " +
                    std::string(format.name) + " cannot read"};
    }
    return format.write(t, type, name_of);
}

} // namespace vox::companion
