// The converters start with the C library alone: the shared libraries that each built program
// names as its needs (DT_NEEDED of its dynamic section) are libc and, in a sanitizer build, the
// sanitizer runtimes that the compiler adds, and nothing else.
#include "e2e_support.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <elf.h>
#include <string>
#include <vector>

namespace {

// The DT_NEEDED names of an ELF file of one class, read through its section headers.
template <typename Ehdr, typename Shdr, typename Dyn>
std::vector<std::string> needed_of_class(const std::string& image) {
    std::vector<std::string> names;
    const auto at = [&image](std::size_t offset, std::size_t size) {
        if (offset > image.size() || size > image.size() - offset) {
            throw std::runtime_error("truncated ELF file");
        }
        return image.data() + offset;
    };
    Ehdr header;
    std::memcpy(&header, at(0, sizeof header), sizeof header);
    std::vector<Shdr> sections(header.e_shnum);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        std::memcpy(&sections[i], at(header.e_shoff + i * sizeof(Shdr), sizeof(Shdr)),
                    sizeof(Shdr));
    }
    for (const Shdr& section : sections) {
        if (section.sh_type != SHT_DYNAMIC || section.sh_link >= sections.size()) {
            continue;
        }
        const Shdr& strings = sections[section.sh_link];
        for (std::size_t offset = 0; offset + sizeof(Dyn) <= section.sh_size;
             offset += sizeof(Dyn)) {
            Dyn entry;
            std::memcpy(&entry, at(section.sh_offset + offset, sizeof entry), sizeof entry);
            if (entry.d_tag == DT_NEEDED) {
                names.emplace_back(at(strings.sh_offset + entry.d_un.d_val, 1));
            }
        }
    }
    return names;
}

std::vector<std::string> needed_libraries(const std::string& path) {
    const std::string image = vox::test::read_file(path);
    if (image.size() < EI_NIDENT || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0) {
        throw std::runtime_error(path + " is no ELF file");
    }
    return image[EI_CLASS] == ELFCLASS64
               ? needed_of_class<Elf64_Ehdr, Elf64_Shdr, Elf64_Dyn>(image)
               : needed_of_class<Elf32_Ehdr, Elf32_Shdr, Elf32_Dyn>(image);
}

bool allowed(const std::string& library) {
    std::vector<std::string> prefixes = {"libc.so."};
#ifdef VOX_SANITIZER_RUNTIMES
    prefixes.insert(prefixes.end(), {"libasan.so.", "libubsan.so."});
#endif
    for (const std::string& prefix : prefixes) {
        if (library.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

struct program {
    const char* name;
    const char* path;
};

// gtest names a row by this.
void PrintTo(const program& p, std::ostream* os) {
    *os << p.name;
}

class linkage : public testing::TestWithParam<program> {};

TEST_P(linkage, needs_no_shared_library_but_the_c_library) {
    const std::vector<std::string> needed = needed_libraries(GetParam().path);
    EXPECT_FALSE(needed.empty()) << "no dynamic section found";
    for (const std::string& library : needed) {
        EXPECT_TRUE(allowed(library)) << GetParam().name << " needs " << library;
    }
}

const program programs[] = {
    {"voxaxis", VOXAXIS},
    {"voxeven", VOXEVEN},
    {"voxslab", VOXSLAB},
};

INSTANTIATE_TEST_SUITE_P(table, linkage, testing::ValuesIn(programs),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
