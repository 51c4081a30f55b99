#include "inspect.hpp"

#include "checks.hpp"
#include "json.hpp"
#include "report.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vox::info {

namespace {

using legacy::attribute;
using legacy::encoding;

// Samples of a type word of unknown size are counted as if of 8 bytes, and not judged.
constexpr legacy::type_info counted{"", 8, legacy::number_kind::floating};

// Gives the parser a sink for every array, and keeps them for the checks and the report.
class gatherer final : public legacy::value_provider {
  public:
    explicit gatherer(contents& file) : file_(file) {}
    legacy::value_sink* values_of(const file_model& model,
                                  const legacy::array_info& array) override {
        const bool text = model.coding == encoding::ascii;
        file_.values.resize(model.arrays.size());
        file_.coordinates.resize(model.arrays.size());
        if (array.kind == attribute::coordinates) {
            file_.coordinates.back() = std::make_unique<legacy::array_sink>(array.type, text);
            return file_.coordinates.back().get();
        }
        const bool samples = model.samples && *model.samples == model.arrays.size() - 1;
        if (array.type == nullptr && !samples) {
            return nullptr;
        }
        file_.values.back() = std::make_unique<legacy::sample_sink>(
            array.type != nullptr ? *array.type : counted, text,
            text && array.kind == attribute::color_scalars);
        return file_.values.back().get();
    }

  private:
    contents& file_;
};

// Finds, opens and reads the samples that a file in reference mode names.
void read_reference(contents& file) {
    referenced& ref = file.reference;
    const legacy::samples_facts& place = *file.facts.samples;
    using named = legacy::samples_facts::reference;
    if (place.named == named::missing) {
        ref.path = file.model.reference;
        ref.how = referenced::state::missing;
        return;
    }
    ref.path = place.path;
    ref.only_beside = place.only_beside;
    if (place.named == named::not_regular) {
        ref.how = referenced::state::not_regular;
        return;
    }
    const int fd = ::open(ref.path.c_str(), O_RDONLY);
    if (fd < 0) {
        ref.how = referenced::state::not_opened;
        ref.reason = std::strerror(errno);
        return;
    }
    const auto& samples = file.model.arrays[*file.model.samples];
    legacy::fd_source bytes(fd);
    legacy::input in(bytes);
    ref.values = std::make_unique<legacy::sample_sink>(
        samples.type != nullptr ? *samples.type : counted, false);
    in.stream_to_end(*ref.values);
    ::close(fd);
    ref.how = in.read_failed() ? referenced::state::not_read : referenced::state::read;
}

} // namespace

report inspect(legacy::source& from, const options& how) {
    contents file;
    gatherer values(file);
    const legacy::parse_result parsed = legacy::parse(from, file.model, &values);
    report r;
    switch (parsed.failed) {
    case legacy::parse_result::failure::none:
        break;
    case legacy::parse_result::failure::reading:
        r.failed = report::failure::reading;
        return r;
    case legacy::parse_result::failure::layout:
        r.failed = report::failure::layout;
        r.error = parsed.message;
        return r;
    case legacy::parse_result::failure::refused:
        r.failed = report::failure::refused;
        r.error = parsed.message;
        return r;
    }
    file.values.resize(file.model.arrays.size());
    file.coordinates.resize(file.model.arrays.size());
    file.facts = legacy::derive(file.model, how.header_path, legacy::deriving::byte_order);
    if (file.model.coding == encoding::binary_file && file.model.samples && how.follow_reference) {
        read_reference(file);
    }
    const std::vector<finding> findings = check(file);
    for (const finding& f : findings) {
        (f.what == finding::kind::problem ? r.problems : r.warnings) += 1;
    }
    r.text = how.as == form::json ? report_json(file, findings, how.header_path)
                                  : report_text(file, findings);
    return r;
}

namespace {

report read_file(const std::string& path, form as) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        report r;
        r.failed = report::failure::opening;
        r.error = std::strerror(errno);
        return r;
    }
    legacy::fd_source file(fd);
    report r = inspect(file, {.header_path = path, .follow_reference = true, .as = as});
    if (r.failed == report::failure::reading) {
        // The system's reason, as read(2) gave it.
        char byte = 0;
        if (::pread(fd, &byte, 1, 0) < 0) {
            r.error = std::strerror(errno);
        }
    }
    ::close(fd);
    return r;
}

} // namespace

report inspect_file(const std::string& path, form as) {
    report r = read_file(path, as);
    if (r.failed != report::failure::none && as == form::json) {
        const char* const codes[] = {"", "opening", "reading", "layout", "refused"};
        r.text = failure_json(path, codes[static_cast<int>(r.failed)], diagnostic(path, r));
    }
    return r;
}

std::string diagnostic(const std::string& path, const report& r) {
    const std::string shown = printable(path);
    switch (r.failed) {
    case report::failure::none:
        break;
    case report::failure::opening:
        return "Error opening " + shown + ": " + r.error;
    case report::failure::reading:
        return "Error reading " + shown + (r.error.empty() ? "" : ": ") + r.error;
    case report::failure::layout:
    case report::failure::refused:
        return shown + ": " + r.error;
    }
    return {};
}

} // namespace vox::info
