// voxslab: a raw sample volume that is a stack of slices, uniform within each slice (x and y
// spacing and origin on the command line) and placed along z by a locations file that is copied
// into the header unchanged.
#include "layout.hpp"
#include "run.hpp"

namespace {

constexpr int spacing_position = 6; // xspc yspc, then xorig yorig
constexpr int origin_position = 8;
constexpr int locations_position = 10;

bool write_slice_stack_section(const vox::section& grid) {
    grid.write_reals(vox::keyword::spacing, spacing_position, 2);
    grid.write_reals(vox::keyword::origin, origin_position, 2);
    vox::write_array_line(grid.out, vox::keyword::locations, grid.zdim);
    return grid.append_auxiliary(0);
}

} // namespace

int main(int argc, char** argv) {
    static constexpr int locations_file[] = {locations_position};
    static constexpr const char* encodings[] = {vox::keyword::binary, vox::keyword::ascii};
    return vox::run_converter(argc, argv,
                              {
                                  .name = "voxslab",
                                  .argument_count = 13,
                                  .usage = "infile outfile xdim ydim zdim xspc yspc  xorig yorig "
                                           "locfile  data_type BINARY/ASCII",
                                  .auxiliary_files = locations_file,
                                  .encodings = encodings,
                                  .write_grid_section = write_slice_stack_section,
                              });
}
