#include "inspect.hpp"

#include "json.hpp"
#include "report.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vox::info {

report inspect(legacy::source& from, const options& how) {
    contents file;
    legacy::gatherer values(file, true);
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
    file.facts = legacy::derive(file.model, how.header_path, legacy::deriving::byte_order);
    if (file.model.coding == legacy::encoding::binary_file && file.model.samples &&
        how.follow_reference) {
        legacy::look_at_reference(file, true);
    }
    const std::vector<finding> findings = check(file);
    for (const finding& f : findings) {
        (f.what == finding::kind::problem ? r.problems : r.warnings) += 1;
    }
    const content c = derive_content(file, findings, how.header_path);
    r.text = how.as == form::json ? report_json(c) : report_text(c);
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
