// Writes a small sample volume for the demo into the folder given as the only argument:
// sphere.raw, a 64 x 64 x 64 unsigned_char ball, and the positions of its grid lines along x, y
// and z (x.bin, y.bin, z.bin; z is stretched, so the slices lie ever further apart).
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int size = 64;

bool write_sphere(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    const double centre = (size - 1) / 2.0;
    for (int z = 0; z < size; ++z) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const double r = std::hypot(x - centre, y - centre, z - centre);
                // Bright inside a radius of 24, fading to dark over the next four voxels.
                const double level = std::fmin(1.0, std::fmax(0.0, (28.0 - r) / 4.0));
                std::fputc(static_cast<int>(std::lround(255.0 * level)), out);
            }
        }
    }
    return std::fclose(out) == 0;
}

// `size` positions from `start` on, each `step` further than the last, `growth` times the step
// before (a stretched grid when growth is above 1), as big-endian 32-bit floats: the form that
// readers of a BINARY file expect.
bool write_positions(const std::string& path, float start, float step, float growth) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    float position = start;
    for (int i = 0; i < size; ++i) {
        const auto bits = std::bit_cast<std::uint32_t>(position);
        for (int shift = 24; shift >= 0; shift -= 8) {
            std::fputc(static_cast<int>((bits >> shift) & 0xffU), out);
        }
        position += step;
        step *= growth;
    }
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "USAGE: %s folder\n", argc > 0 ? argv[0] : "make_sample");
        return 1;
    }
    const std::string dir = argv[1];
    const bool written = write_sphere(dir + "/sphere.raw") &&
                         write_positions(dir + "/x.bin", 0, 1, 1) &&
                         write_positions(dir + "/y.bin", 0, 1, 1) &&
                         write_positions(dir + "/z.bin", -10, 0.25, 1.02f);
    if (!written) {
        std::fprintf(stderr, "Error writing the sample into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
