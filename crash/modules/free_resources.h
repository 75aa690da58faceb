// The free-system-resources percentage of the 9x family (Windows only).
#pragma once

#include <cstdint>

namespace qor {

// Kinds understood by the 16-bit user module.
enum FreeResourceKind : uint16_t {
  kFreeSystemResources = 0,
  kFreeGdiResources = 1,
  kFreeUserResources = 2,
};

// Percentage (0..100) of the kind that is free; 0 on the NT family and
// whenever the 16-bit layer cannot be reached.
uint32_t FreeSystemResources(FreeResourceKind kind);

}  // namespace qor
