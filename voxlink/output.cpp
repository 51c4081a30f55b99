#include "output.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vox::companion {

namespace fs = std::filesystem;

std::string beside(const std::string& path, std::string_view extension) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string::npos || dot <= name) {
        return path + std::string(extension);
    }
    return path.substr(0, dot) + std::string(extension);
}

std::string relative_name(const std::string& data_path, const std::string& companion_path) {
    std::error_code error;
    const fs::path folder = fs::path(companion_path).parent_path();
    // Absolute first: a folder that does not exist yet stays relative otherwise.
    const fs::path from =
        fs::weakly_canonical(fs::absolute(folder.empty() ? fs::path(".") : folder), error);
    if (error) {
        return {};
    }
    const fs::path to = fs::weakly_canonical(fs::absolute(data_path), error);
    if (error) {
        return {};
    }
    const fs::path relative = to.lexically_relative(from);
    return relative.empty() ? std::string{} : relative.string();
}

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string system_error(const std::string& what) {
    return what + " (" + std::strerror(errno) + ")";
}

} // namespace

std::string write_whole(const std::string& path, const std::string& text,
                        const std::vector<std::string>& keep) {
    struct stat there {};
    const bool replacing = ::stat(path.c_str(), &there) == 0;
    if (replacing) {
        if (S_ISDIR(there.st_mode)) {
            return "it is a folder";
        }
        for (const std::string& k : keep) {
            struct stat kept {};
            if (::stat(k.c_str(), &kept) == 0 && same_file(there, kept)) {
                return "it is " + k + " itself, which is never written over";
            }
        }
    }
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return system_error("cannot be created in its folder");
    }
    // The old file's permissions (those for reading and writing: no set-id bits); a new file's
    // as any new file: readable by all, less what the umask takes.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = replacing ? there.st_mode & 0777 : 0666 & ~mask;
    std::string failure;
    if (::fchmod(fd, mode) != 0) {
        failure = system_error("cannot be given its mode");
    }
    std::size_t done = 0;
    while (failure.empty() && done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0) {
            failure = system_error("cannot be written");
        } else {
            done += static_cast<std::size_t>(wrote);
        }
    }
    if (failure.empty() && ::fsync(fd) != 0) {
        failure = system_error("cannot be written");
    }
    if (::close(fd) != 0 && failure.empty()) {
        failure = system_error("cannot be written");
    }
    if (failure.empty() && ::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = system_error("cannot be put in place");
    }
    if (!failure.empty()) {
        ::unlink(temporary.c_str());
        return failure;
    }
    // The rename lasts once the folder is on disk too (a file system that cannot sync a folder
    // says EINVAL, and keeps it by other means).
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || (::fsync(dir) != 0 && errno != EINVAL)) {
        failure = system_error("put in place, but its folder cannot be synced");
    }
    if (dir >= 0) {
        ::close(dir);
    }
    return failure;
}

} // namespace vox::companion
