#include "layout.hpp"

#include "keywords.hpp"
#include "numbers.hpp"

#include <cstring>

namespace vox {

void write_title_lines(std::FILE* out, const char* program) {
    std::fprintf(out, "%s\n%s%s\n", keyword::magic, keyword::title, program);
}

void write_encoding_line(std::FILE* out, const char* keyword, const char* referenced_path) {
    if (std::strcmp(keyword, reference_keyword) == 0) {
        std::fprintf(out, "%s %s\n", keyword, referenced_path);
    } else {
        std::fprintf(out, "%s\n", keyword);
    }
}

void write_dimensions_line(std::FILE* out, std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    std::fprintf(out, "%s  %lu %lu %lu\n", keyword::dimensions, static_cast<unsigned long>(x),
                 static_cast<unsigned long>(y), static_cast<unsigned long>(z));
}

void write_reals_line(std::FILE* out, const char* keyword, std::span<const float> values) {
    std::fprintf(out, "%s ", keyword);
    for (const float value : values) {
        std::fprintf(out, " %f", static_cast<double>(value));
    }
    std::fputc('\n', out);
}

void write_array_line(std::FILE* out, const char* keyword, std::uint32_t count) {
    std::fprintf(out, "%s %lu %s\n", keyword, static_cast<unsigned long>(count),
                 vox::keyword::array_type);
}

void write_point_data_lines(std::FILE* out, std::uint32_t x, std::uint32_t y, std::uint32_t z,
                            const char* data_type) {
    std::fprintf(out, "%s  %s\n%s %s  %s\n%s %s\n", keyword::point_data,
                 exact_product(x, y, z).c_str(), keyword::scalars, keyword::scalars_name, data_type,
                 keyword::lookup_table, keyword::lookup_table_name);
}

} // namespace vox
