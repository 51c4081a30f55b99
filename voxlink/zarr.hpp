// The Zarr reference companion: a JSON document in the reference file system format of fsspec
// (version 1) that describes a Zarr (format 2) group whose chunks are byte ranges of the data
// file, so that zarr, xarray and Dask read the samples in place, locally or over a network.
#pragma once

#include "formats.hpp"
#include "target.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vox::companion {

// The bytes a chunk holds at most, unless one row alone is more: Dask works best with chunks of
// tens of MiB.
constexpr std::uint64_t chunk_aim = std::uint64_t{64} << 20;

// The chunk shape, z first, of an array of `dimensions` (x, y, z) points of `point_bytes` bytes
// each (all components): whole z-slices, as many as fit in `aim` bytes, or where a slice alone is
// more, whole rows of one slice, as many as fit (one at least). Each extent divides the
// dimension, so that every chunk is whole and one contiguous byte range.
std::array<std::uint64_t, 3> chunk_shape(const std::array<std::uint32_t, 3>& dimensions,
                                         std::uint64_t point_bytes, std::uint64_t aim);

// The reference of a target, or why there is none. `name_of` gives the name of a data file as
// the reference must write it, or an empty text where none reaches it: then what lies there is
// written inline (coordinates) or left out (point data other than the samples).
companion zarr_reference(const target& t,
                         const std::function<std::string(const std::string&)>& name_of,
                         std::uint64_t aim);

// The types numpy reads, by its names for them (its byte order aside): every number type.
extern const std::vector<type_name> zarr_types;

// The reference of a target as the table of formats writes it: the data files named from anywhere
// (`name_of.absolute`), and chunks of `chunk_aim_here()` bytes at most. numpy's words for the
// types of every array, byte order included, come from the reader; `type` only admits the samples.
companion zarr(const target& t, std::string_view type, const namer& name_of);

// The name a reference gives a data file (`data`, as found from the current folder): `url` for
// the file of the samples where one is given (and none for any other file), else its absolute
// path. Empty where there is none.
std::string zarr_data_name(const std::string& data, const std::string& samples_path,
                           const std::string& url);

// Why `url` is no URL (SCHEME://REST); empty when it is one.
std::string url_problem(std::string_view url);

// The chunk aim for this run: `chunk_aim`, or the bytes in VOXLINK_ZARR_CHUNK_BYTES. The variable
// exists for the tests alone, which need volumes of many chunks, slices larger than the aim and
// rows longer than it without writing files of hundreds of MiB.
std::uint64_t chunk_aim_here();

} // namespace vox::companion
