#include "crash/disasm/function_listing.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/mapped_memory.h"

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

TEST(FunctionListingTest, KnownFunction) {
  EXPECT_EQ(Listing({kCode + 7, true, 0}),
            "00401000 sub_401000:                      ; function entry point\r\n"
            "00401000   push    ebp\r\n"
            "00401001   mov     ebp, esp\r\n"
            "00401003   test    eax, eax\r\n"
            "00401005   jz      loc_40100c\r\n"
            "\r\n"
            "00401007 > call    +$7c3feff4 ($7c800000)\r\n"
            "\r\n"
            "0040100c loc_40100c:\r\n"
            "0040100c   pop     ebp\r\n"
            "0040100d   ret");
}

TEST(FunctionListingTest, WithoutLabels) {
  EXPECT_EQ(Listing({0, false, 0}),
            "00401000 sub_401000:                      ; function entry point\r\n"
            "00401000   push    ebp\r\n"
            "00401001   mov     ebp, esp\r\n"
            "00401003   test    eax, eax\r\n"
            "00401005   jz      loc_40100c\r\n"
            "00401007   call    +$7c3feff4 ($7c800000)\r\n"
            "0040100c   pop     ebp\r\n"
            "0040100d   ret");
}

TEST(FunctionListingTest, InvalidFunctionGivesEmptyText) {
  EXPECT_EQ(Listing({}, {0x90, 0xFF, 0xFF}), "");
}

// A jump back to the entry names the function; a return before more code
// gets the separator.
TEST(FunctionListingTest, EntryLabelAndSeparator) {
  // dec eax; jz out; jmp entry; out: ret
  EXPECT_EQ(Listing({}, {0x48, 0x74, 0x02, 0xEB, 0xFB, 0xC3}),
            "00401000 sub_401000:                      ; function entry point\r\n"
            "00401000   dec     eax\r\n"
            "00401001   jz      loc_401005\r\n"
            "\r\n"
            "00401003   jmp     sub_401000\r\n"
            "\r\n"
            "; ---------------------------------------------------------\r\n"
            "\r\n"
            "00401005 loc_401005:\r\n"
            "00401005   ret");
}

// Twenty "nop" lines and a "ret": the limit keeps lines around the mark.
TEST(FunctionListingTest, LineLimit) {
  std::vector<uint8_t> code(20, 0x90);
  code.push_back(0xC3);
  const std::string text = Listing({kCode + 10, true, 3}, code);
  EXPECT_EQ(text,
            "[...]\r\n"
            "00401007   nop\r\n"
            "00401008   nop\r\n"
            "00401009   nop\r\n"
            "0040100a > nop\r\n"
            "0040100b   nop\r\n"
            "0040100c   nop\r\n"
            "0040100d   nop\r\n"
            "[...]");
  // Close to the entry nothing is cut before the mark: 4 lines precede it,
  // fewer than 3 * 12 / 10 + 1.
  const std::string early = Listing({kCode + 2, true, 3}, code);
  EXPECT_EQ(early.substr(0, 8), "00401000");
  EXPECT_NE(early.find("00401002 > nop"), std::string::npos);
}

void FakeLines(uint32_t address, int32_t& line, uint32_t& start, uint32_t& end) {
  // Two source lines: 98 up to 0x401003, 105 from there.
  const bool second = address >= kCode + 3;
  line = second ? 105 : 98;
  start = second ? kCode + 3 : kCode;
  end = second ? kCode + 0xFF : kCode + 2;
}

TEST(FunctionListingTest, LineNumberColumn) {
  line_hook = FakeLines;
  const std::string text = Listing({kCode + 3, false, 0}, {0x55, 0x89, 0xE5, 0x5D, 0xC3});
  line_hook = nullptr;
  EXPECT_EQ(text,
            "00401000 098 sub_401000:                      ; function entry point\r\n"
            "00401000       push    ebp\r\n"
            "00401001       mov     ebp, esp\r\n"
            "00401003 105 > pop     ebp\r\n"
            "00401004       ret");
}

}  // namespace
}  // namespace qor
