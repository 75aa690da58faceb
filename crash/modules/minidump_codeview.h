// Completing a minidump's module list: Wine's dbghelp writes no CodeView
// record for any module, and without one the crash servers' processors
// cannot match a module with its symbol file. Windows' dbghelp copies the
// image's record, which is what this adds where it is missing.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace qor {

// The CodeView record of the module loaded at `base`; false when it has none.
using CodeViewLookup = std::function<bool(uint32_t base, std::vector<uint8_t>& record)>;

// Appends, for every module of the dump's module list without a CodeView
// record, the record that `lookup` gives, and points the module at it.
// Returns how many were added; 0 also when `dump` is not a minidump or its
// module list lies outside it (the dump is then left as it was).
uint32_t AddMissingCodeViewRecords(std::vector<uint8_t>& dump, const CodeViewLookup& lookup);

}  // namespace qor
