// Arbitrary bytes as a program's .eh_frame section: the CIE and FDE reader,
// the call-frame instructions and their rules in the symbol file's form.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/qor_convert/breakpad_symbols.h"
#include "tools/qor_convert/eh_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<qor::convert::CfiFunction> functions;
  std::string error;
  qor::convert::ReadEhFrame(std::span<const uint8_t>(data, size), 0x3000, 0x400000, 0x100000,
                            functions, error);
  qor::convert::WriteBreakpadSymbols({"fuzz.pdb", "0", 0x1000, 0x3000}, {}, functions);
  return 0;
}
