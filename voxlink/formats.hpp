// The companion formats, each a small writer from the target's description, with the
// reasons it cannot describe a target; one table holds what sets them apart.
#pragma once

#include "target.hpp"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vox::companion {

enum class format { xdmf, metaimage, nrrd, zarr };

struct format_info {
    format which;
    std::string_view name;      // as messages name it
    std::string_view extension; // of the names it writes
    std::string_view readers;   // who reads it, as the list of what was written says
};

// The formats in the order they are written.
const std::vector<format_info>& formats();
const format_info& info(format which);

// The format a companion's name asks for by its extension (.xmf or .xdmf, .mhd, .nhdr, .json).
std::optional<format> format_of(std::string_view path);

// The text of a companion, or why the format cannot describe the target: then `text` is empty.
struct companion {
    std::string text;
    std::string refusal;
};

// `name_of` gives the name of a data file (a path as found from the current folder) as the
// companion must write it, or an empty text when none can name it.
companion describe(format which, const target& t,
                   const std::function<std::string(const std::string&)>& name_of);

} // namespace vox::companion
