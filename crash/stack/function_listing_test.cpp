#include "crash/stack/function_listing.h"

#include <gtest/gtest.h>

#include "crash/stack/mapped_memory.h"

namespace qor {
namespace {

constexpr uint32_t kCode = 0x401000;

// push ebp; mov ebp,esp; test eax,eax; jz done; call 0x7c800000; done: pop ebp; ret
const std::vector<uint8_t> kFunction = {0x55, 0x89, 0xE5, 0x85, 0xC0, 0x74, 0x05, 0xE8,
                                        0xF4, 0xEF, 0x3F, 0x7C, 0x5D, 0xC3};

std::string Listing(const ListingOptions& options, const std::vector<uint8_t>& code = kFunction) {
  MappedMemory memory;
  memory.Map(kCode, code);
  TFunctionInfo info;
  std::string text = "stale";
  FunctionListing(memory, {}, kCode, text, info, options);
  return text;
}

TEST(FunctionListingTest, Print) {
  std::printf("%s\n", Listing({kCode + 7, true, 0}).c_str());
}

}  // namespace
}  // namespace qor
