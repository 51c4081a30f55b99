// The companion formats: one record each, from which the extensions voxlink takes, its usage
// text, the default outputs and the list of what was written are all made. A writer makes a
// companion from the target's description, or gives the reasons it cannot describe the target.
#pragma once

#include "target.hpp"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vox::companion {

// The text of a companion, or why the format cannot describe the target: then `text` is empty.
struct companion {
    std::string text;
    std::string refusal;
};

// The names by which a companion reaches a data file (a path as found from the current folder),
// each an empty text when none can name it: from the companion's folder, or from anywhere (the
// URL given for the samples, else the absolute path). A format takes the one its readers need.
struct namer {
    std::function<std::string(const std::string&)> relative;
    std::function<std::string(const std::string&)> absolute;
};

// A format's name for the values of one type, by kind and size as the layout's type table gives
// them.
struct type_name {
    legacy::number_kind kind;
    unsigned size;
    std::string_view word;
};

// A format's word for `type`, or an empty one where its readers cannot read such values.
std::string_view word_for(const std::vector<type_name>& names, const legacy::type_info* type);

struct format_record {
    std::string_view name;                    // as messages name it
    std::vector<std::string_view> extensions; // of the outputs that pick it
    std::string_view default_suffix;          // of the one written beside FILE by default
    std::string_view grids;                   // what it describes, as the usage text says
    std::string_view readers;                 // who reads it, as usage and output list them
    std::vector<type_name> types;             // the types its readers read; no other is written
    // The companion, given the format's word for the samples' type.
    companion (*write)(const target& t, std::string_view type, const namer& name_of);
};

// The formats in the order they are written.
const std::vector<format_record>& formats();

// The format a companion's name asks for by its extension, or none.
const format_record* format_of(std::string_view path);

// The extensions that pick a format, as a list in words (".xmf, .xdmf, .mhd, .nhdr or .json").
std::string extension_list();

// The formats as the usage text lists them, a line or more each: the extensions, the name, the
// grids and the readers.
std::string usage_list();

// The companion of `format` for the target, or why it cannot be written.
companion describe(const format_record& format, const target& t, const namer& name_of);

} // namespace vox::companion
