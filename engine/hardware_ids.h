// The rule by which a device's hardware ids are compared with a table id,
// and the splitting of a multi-string device property into its entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/device_platform.h"

namespace engine {

// True when `id` occurs anywhere inside `entry`, both upper-cased by the
// locale's ANSI rules (not ASCII folding): the system's ids differ from the
// table's in letter case and often carry a revision suffix.
bool TextContainsId(DevicePlatform& platform, const std::string& entry, const std::string& id);

// True when TextContainsId holds for an entry; stops at the first hit.
bool HardwareIdsContain(DevicePlatform& platform, const std::vector<std::string>& entries,
                        const std::string& id);

// Appends the entries of a multi-string (zero-terminated texts ended by an
// empty text) to `list`. `size` is the byte length the Setup API reported;
// nothing is read at or beyond it, even in a buffer without its zeros.
void SplitMultiString(DevicePlatform& platform, const uint8_t* buffer, int64_t size,
                      std::vector<std::string>& list);

}  // namespace engine
