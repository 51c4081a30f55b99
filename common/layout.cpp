#include "layout.hpp"

#include "numbers.hpp"

#include <cstring>

namespace vox {

void write_title_lines(std::FILE* out, const char* program) {
    std::fprintf(out, "# vtk DataFile Version 2.0\nOutput from %s\n", program);
}

void write_encoding_line(std::FILE* out, const char* keyword, const char* referenced_path) {
    if (std::strcmp(keyword, reference_keyword) == 0) {
        std::fprintf(out, "%s %s\n", keyword, referenced_path);
    } else {
        std::fprintf(out, "%s\n", keyword);
    }
}

void write_dimensions_line(std::FILE* out, std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    std::fprintf(out, "DIMENSIONS  %lu %lu %lu\n", static_cast<unsigned long>(x),
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
    std::fprintf(out, "%s %lu float\n", keyword, static_cast<unsigned long>(count));
}

void write_point_data_lines(std::FILE* out, std::uint32_t x, std::uint32_t y, std::uint32_t z,
                            const char* data_type) {
    std::fprintf(out, "POINT_DATA  %s\nSCALARS scalars  %s\nLOOKUP_TABLE default\n",
                 exact_product(x, y, z).c_str(), data_type);
}

} // namespace vox
