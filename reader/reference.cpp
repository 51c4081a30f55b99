#include "reference.hpp"

#include <cerrno>
#include <sys/stat.h>

namespace vox::legacy {

reference_place find_reference(const std::string& name, const std::string& header_path) {
    reference_place place;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        place.path = name;
    } else {
        place.error = errno;
        const auto slash = header_path.rfind('/');
        if (place.error == ENOENT && !name.empty() && name[0] != '/' &&
            slash != std::string::npos) {
            std::string beside = header_path.substr(0, slash + 1) + name;
            if (::stat(beside.c_str(), &st) == 0) {
                place.path = std::move(beside);
                place.only_beside = true;
            }
        }
        if (place.path.empty()) {
            return place;
        }
    }
    place.regular = S_ISREG(st.st_mode);
    return place;
}

} // namespace vox::legacy
