// What disagrees in a file that was read: each a problem (the parts of the file contradict each
// other, or values are lost) or a warning (VTK's reader would read it otherwise than written, or
// the values look wrong), in the order of the file. The one list of them: voxinfo reports it, and
// voxlink refuses a file with a problem in it, in the same words.
#pragma once

#include "facts.hpp"
#include "input.hpp"
#include "model.hpp"
#include "parser.hpp"
#include "values.hpp"

#include <memory>
#include <string>
#include <vector>

namespace vox::legacy {

// The samples of a file in reference mode, in the file it names.
struct referenced {
    // Not looked for; not found, or not a regular file; found, its samples not read; or it
    // could not be opened, or read, or was read.
    enum class state { not_looked_at, missing, not_regular, found, not_opened, not_read, read };
    state how = state::not_looked_at;
    std::string path;         // as found: the reference, or the path beside the header
    bool only_beside = false; // found beside the header, not from the current folder
    std::string reason;       // the system's words where it could not be opened or read
    std::unique_ptr<sample_sink> values;
};

// Everything read from one file.
struct file_contents {
    file_model model;
    file_facts facts;
    // The values of each array of the model, by its index: ranged samples and attributes; none
    // for an array of unknown type, and for binary ones where they were not read.
    std::vector<std::unique_ptr<sample_sink>> values;
    // The coordinate or locations arrays, by axis.
    coordinate_keeper coordinates;
    referenced reference;
};

// Gives the parser a sink for every array, and keeps them in `file`: with `binary`, binary values
// too, which are otherwise passed over unread (but for coordinates).
class gatherer final : public value_provider {
  public:
    gatherer(file_contents& file, bool binary) : file_(file), binary_(binary) {}
    value_sink* values_of(const file_model& model, const array_info& array) override;

  private:
    file_contents& file_;
    bool binary_;
};

// Looks at the file that `file`'s samples are referenced in, from its facts: with `read`, reads
// its samples through (and ranges them), else only finds it.
void look_at_reference(file_contents& file, bool read);

struct finding {
    enum class kind { problem, warning } what;
    // What kind of finding it is, in a word that stays the same from version to version (voxinfo's
    // manual page lists them); the text may say more in a later one.
    const char* code;
    std::string text;
};

std::vector<finding> check(const file_contents& file);

} // namespace vox::legacy
