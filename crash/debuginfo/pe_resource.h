// Finding a resource of a loaded PE image by walking its resource directory
// through a MemoryReader, so the same code serves the live process and
// images mapped by host tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "crash/modules/memory_reader.h"

namespace qor {

// A resource type or name: a number when `name` is empty, else a name
// (compared ignoring ASCII case, as the system's resource search does).
struct ResourceKey {
  uint16_t id = 0;
  std::string_view name;
};

inline constexpr ResourceKey kRcData{10, {}};

// The bytes of the first language of resource (`type`, `name`) in the image
// at `base`. Empty when the image has no such resource, when its directory
// is malformed or its data unreadable, or when it states more than
// `max_size` bytes.
std::vector<uint8_t> ReadResource(const MemoryReader& memory, uint32_t base, ResourceKey type,
                                  ResourceKey name, uint32_t max_size = 64u << 20);

}  // namespace qor
