// Where a module's TD32 debug information comes from: linked into the
// loaded image, a ".tds" file beside the module, or linked into the module
// file on disk.
#pragma once

#include <cstdint>
#include <string>

#include "crash/debuginfo/map_file.h"
#include "crash/modules/memory_reader.h"

namespace qor {

// Reads the TD32 information of the module that `map` describes into it.
// First the data that the loaded image's debug directory points to (when
// `nt_headers` is not 0 and the image has one code section); then the
// file: map.MapFileName when that is a ".tds" file, else `companion_base`
// + ".tds", else the module file itself. A ".tds" file last written on an
// earlier day than `companion_base` + ".map" is left over from an earlier
// build and ignored. False when no source gave information.
bool ReadTd32Source(const MemoryReader& memory, uint32_t nt_headers,
                    const std::string& companion_base, TMapFile& map);

// The TD32 data that the first debug directory entry of the PE image at
// `base` points to: in a loaded image (`file_layout` false) its
// AddressOfRawData, in a file's bytes placed at 0 its PointerToRawData.
// The file of an image with two code sections is not read.
bool ReadLinkedTd32(const MemoryReader& image, uint32_t base, bool file_layout, TMapFile& map);

}  // namespace qor
