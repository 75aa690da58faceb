// The module that carries the core: the executable, or a library built
// with it (Windows only).
#pragma once

#include <cstdint>

namespace qor {

// Its base address.
uint32_t CoreModule();

// True when the core lives in the executable.
bool CoreInExecutable();

}  // namespace qor
