// Rewriting a linked program for shipping: its DWARF sections and COFF
// symbols go, and its resources gain the compact debug information. No
// section that holds code or data moves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/qor_convert/pe_file.h"

namespace qor::convert {

// The program's bytes with the trailing ".debug_*" sections and the symbol
// table removed and resource QOR/EXCEPT set to `compact` (replacing an
// earlier one). The resource section is rebuilt after the last remaining
// section; when the old resource section was that last section its place
// is reused. False, with `error` set, when a DWARF section is followed by
// another section or the existing resource tree is malformed.
bool EmbedDebugInfo(const PeFile& pe, const std::vector<uint8_t>& compact,
                    std::vector<uint8_t>& output, std::string& error);

// The PE checksum of an image file whose CheckSum field is at `checksum_at`.
uint32_t PeChecksum(const std::vector<uint8_t>& bytes, size_t checksum_at);

}  // namespace qor::convert
