// A volume in the legacy layout as a viewer reads it: the header and the grid through the reader
// library, then the samples of any part of the grid, reading only their bytes where they are
// binary. Standard C++ and POSIX only; the VTK reader class is a thin layer on top.
#pragma once

#include "facts.hpp"
#include "model.hpp"
#include "threads.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vox::view {

using legacy::byte_order;

// An extent as VTK gives it: the first and last index along x, y and z, inclusive.
using extent = std::array<int, 6>;

struct volume {
    legacy::file_model model;
    std::string header_path;
    // Where the samples are: the header itself, or the file it names in reference mode, resolved
    // as voxinfo resolves it (as written from the current folder, else beside the header).
    std::string samples_path;
    std::uint64_t samples_offset = 0;
    std::size_t samples_at = 0; // the samples' index in model.arrays
    // The order of the binary values as they are read: whether their bytes are little-endian.
    bool little_endian_samples = false;
    // What was judged of that order, where it was asked to be judged: the order taken, or why it
    // is unknown and the declared one taken, which the VTK reader shows as a warning.
    std::string order_note;
    bool order_unknown = false;
    // The position of every grid line along x, y and z: from the coordinate arrays of a
    // rectilinear grid, from spacing and origin (x and y) and the locations (z) of a slice stack;
    // empty for a uniform grid.
    std::array<std::vector<double>, 3> coordinates;

    const legacy::array_info& samples() const { return model.arrays[samples_at]; }

    extent whole() const {
        return {0, static_cast<int>(model.dimensions[0]) - 1,
                0, static_cast<int>(model.dimensions[1]) - 1,
                0, static_cast<int>(model.dimensions[2]) - 1};
    }
};

// Reads the header and the grid of the file at `path` into `v`: an empty text, or why the file
// cannot be read, in voxinfo's words.
std::string open(const std::string& path, byte_order order, volume& v);

// A rate along x, y and z: every rate[a]-th sample along axis a.
using rates = std::array<int, 3>;

// The samples of a box of the grid (first and last index along each axis, inclusive) at a rate:
// along each axis those at box[2a] + n * rate[a], up to box[2a + 1].
struct sampling {
    extent box;
    rates rate = {1, 1, 1};

    // The samples along `axis`.
    int count(std::size_t axis) const {
        return (box[2 * axis + 1] - box[2 * axis]) / rate[axis] + 1;
    }
    std::uint64_t points() const {
        return static_cast<std::uint64_t>(count(0)) * static_cast<std::uint64_t>(count(1)) *
               static_cast<std::uint64_t>(count(2));
    }
};

// The grid that a box (VTK's VOI) and a sample rate select, as the reader gives it: along each
// axis its extent runs from box[2a] / rate[a], so that a rate of 1 keeps the box's own indices,
// and output index n stands for input index box[2a] + (n - whole[2a]) * rate[a].
struct selection {
    sampling input; // the box clamped to the grid
    extent whole;   // the output's whole extent

    // The input index of output index `n` along `axis`.
    int index(std::size_t axis, int n) const {
        return input.box[2 * axis] + (n - whole[2 * axis]) * input.rate[axis];
    }
    // The samples of the input that make the part `part` of the output (inside `whole`).
    sampling of(const extent& part) const;
    // Of a uniform grid, the output's spacing and origin: every output point where the input
    // point it comes from lies.
    std::array<double, 3> spacing(const volume& v) const;
    std::array<double, 3> origin(const volume& v) const;
};

// Selects the box `voi` of `v`, clamped to its grid, at `rate` into `out`: an empty text, or why
// not (a rate below 1, a box with nothing of the grid in it).
std::string select(const volume& v, const extent& voi, const rates& rate, selection& out);

// The byte ranges (offset in the samples' file, length) that hold the samples of `part`, in the
// order of the values, adjacent ranges merged. Not for bits, which are packed eight to a byte.
std::vector<std::pair<std::uint64_t, std::uint64_t>> byte_ranges(const volume& v,
                                                                 const extent& part);
// The same for samples at a rate: each row from its first sample to its last (a rate along x
// reads the samples between them too), merged where the rate along x is 1.
std::vector<std::pair<std::uint64_t, std::uint64_t>> byte_ranges(const volume& v,
                                                                 const sampling& part);

// How the samples are read.
struct reading {
    // Threads at most, each reading and placing a stretch of the output; 0: as many as the
    // process may run at once (its CPU affinity: machine_threads).
    unsigned threads = 0;
    // The bytes of output that are worth a thread: a smaller part is read on fewer threads.
    std::uint64_t least_per_thread = std::uint64_t{8} << 20;
    // Advise binary output read on several threads to huge pages: fewer page faults, which are
    // most of the cost of filling fresh memory, where the kernel finds whole huge pages free.
    // Off by default: in a fresh process on a virtual machine, whose host takes back the
    // memory that its guest frees, the advice made the read half as fast again and more.
    bool huge_pages = false;
    // Called on the calling thread as the samples come in, with the share of them read: true
    // stops the read (read_samples then gives `stopped`).
    std::function<bool(double)> progress = {};
    // How the reading threads are started (default: std::thread).
    thread_starter start = {};
};

// What read_samples gives when `progress` stopped it.
inline const std::string stopped = "reading stopped";

// Reads the samples of `part` into `out`, x fastest, each value in the host's byte order (bits as
// one byte each, 0 or 1): an empty text, or why not. `bytes_read` grows by the sample bytes read.
// Binary samples are read with pread(2), each thread its stretch, straight into place; text is
// cut at blanks into stretches whose words are counted, then parsed, each thread its own.
std::string read_samples(const volume& v, const extent& part, char* out, std::uint64_t& bytes_read,
                         const reading& how = {});
// The same for samples at a rate. Where a thread cannot start, its share is read on the calling
// thread; an exception in any (no memory) is the text returned.
std::string read_samples(const volume& v, const sampling& part, char* out,
                         std::uint64_t& bytes_read, const reading& how = {});

// The samples of `part` as the file holds them, in a private mapping of its pages, where they
// can be handed over as they are: binary values (not bits) in the host's byte order, no rate, one
// run of bytes, aligned for their type; null where they cannot, or where mmap(2) fails. The
// mapping goes with unmap_samples(the pointer), from any thread. A file shortened while it is
// mapped ends the process with SIGBUS on the next touch of a lost page.
char* map_samples(const volume& v, const sampling& part);
void unmap_samples(void* data);

// Whether the file at `path` is in the legacy layout without a DATASET line: the files that VTK's
// own reader cannot read, whose grid only the header's other lines describe.
bool claims(const std::string& path);

} // namespace vox::view
