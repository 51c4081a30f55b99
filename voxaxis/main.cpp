// voxaxis: a raw sample volume on a rectilinear grid, its grid lines along x, y and z given by
// three coordinate files that are copied into the header unchanged.
#include "layout.hpp"
#include "run.hpp"

namespace {

bool write_rectilinear_section(const vox::section& grid) {
    const char* const keywords[] = {vox::keyword::x_coordinates, vox::keyword::y_coordinates,
                                    vox::keyword::z_coordinates};
    const std::uint32_t counts[] = {grid.xdim, grid.ydim, grid.zdim};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        vox::write_array_line(grid.out, keywords[axis], counts[axis]);
        if (!grid.append_auxiliary(axis)) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    static constexpr int coordinate_files[] = {6, 7, 8};
    static constexpr const char* encodings[] = {vox::keyword::binary, vox::keyword::ascii};
    return vox::run_converter(
        argc, argv,
        {
            .name = "voxaxis",
            .argument_count = 11,
            .usage = "infile outfile xdim ydim zdim xfile yfile zfile data_type BINARY/ASCII",
            .auxiliary_files = coordinate_files,
            .encodings = encodings,
            .write_grid_section = write_rectilinear_section,
        });
}
