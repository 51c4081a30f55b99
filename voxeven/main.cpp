// voxeven: a raw sample volume on a uniform grid, fixed by three spacings and an origin given on
// the command line. With the keyword BINARY_FILE the header names infile instead of holding it.
#include "keywords.hpp"
#include "run.hpp"

namespace {

constexpr int spacing_position = 6; // xspc yspc zspc, then xorig yorig zorig
constexpr int origin_position = 9;

bool write_uniform_section(const vox::section& grid) {
    grid.write_reals(vox::keyword::spacing, spacing_position, 3);
    grid.write_reals(vox::keyword::origin, origin_position, 3);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    static constexpr const char* encodings[] = {vox::keyword::binary_file, vox::keyword::binary,
                                                vox::keyword::ascii};
    return vox::run_converter(argc, argv,
                              {
                                  .name = "voxeven",
                                  .argument_count = 14,
                                  .usage = "infile outfile xdim ydim zdim xspc yspc zspc xorig "
                                           "yorig zorig data_type BINARY/ASCII",
                                  .auxiliary_files = {},
                                  .encodings = encodings,
                                  .write_grid_section = write_uniform_section,
                              });
}
