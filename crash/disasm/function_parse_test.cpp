#include "crash/disasm/function_info.h"

#include <gtest/gtest.h>

#include "crash/modules/testing/eh_test_tables.h"
#include "crash/modules/testing/mapped_memory.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor {
namespace {

constexpr uint32_t kCode = 0x401000;

void Put(std::vector<uint8_t>& bytes, std::initializer_list<uint8_t> add) {
  bytes.insert(bytes.end(), add);
}

// Appends a 32-bit value.
void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Appends a call or jump (opcode 0xE8 / 0xE9) from the end of `bytes` to `target`.
void PutRel(std::vector<uint8_t>& bytes, uint8_t opcode, uint32_t target) {
  bytes.push_back(opcode);
  Put32(bytes, target - (kCode + static_cast<uint32_t>(bytes.size()) + 4));
}

uint32_t Here(const std::vector<uint8_t>& bytes) {
  return kCode + static_cast<uint32_t>(bytes.size());
}

const CodeArea* AreaAt(const TFunctionInfo& info, uint32_t begin) {
  for (const CodeArea& area : info.code_areas)
    if (area.begin == begin) return &area;
  return nullptr;
}

TFunctionInfo Parse(const std::vector<uint8_t>& code, const SpecialRoutines& routines = {}) {
  MappedMemory memory;
  memory.Map(kCode, code);
  TFunctionInfo info;
  EXPECT_EQ(ParseFunction(kCode, memory, routines, info), info.is_valid);
  return info;
}

TEST(ParseFunctionTest, SingleReturn) {
  const TFunctionInfo info = Parse({0xC3, 0xCC, 0xCC});
  ASSERT_TRUE(info.is_valid);
  ASSERT_EQ(info.code_areas.size(), 1u);
  EXPECT_EQ(info.code_areas[0].begin, kCode);
  EXPECT_EQ(info.code_areas[0].end, kCode);
  EXPECT_EQ(info.code_len, 1u);
  EXPECT_TRUE(info.far_calls.empty());
  EXPECT_FALSE(info.interceptable);  // one byte cannot hold a jump
  EXPECT_EQ(info.copy.buffer_len, 5u);
}

TEST(ParseFunctionTest, NeverReturningCallEndsThePath) {
  constexpr uint32_t kAbort = 0x7C800000;
  std::vector<uint8_t> code;
  Put(code, {0x55, 0x89, 0xE5});  // push ebp; mov ebp, esp
  PutRel(code, 0xE8, kAbort);
  const uint32_t after = Here(code);
  Put(code, {0xFF, 0xFF, 0xFF});  // no instruction: padding or the next function
  SpecialRoutines routines;
  routines.never_return = {kAbort};
  const TFunctionInfo info = Parse(code, routines);
  ASSERT_TRUE(info.is_valid);
  EXPECT_EQ(info.code_begin + info.code_len, after);
  ASSERT_EQ(info.far_calls.size(), 1u);
  EXPECT_EQ(info.far_calls[0].target, kAbort);
  EXPECT_TRUE(info.interceptable);

  // Without knowing the routine, the bytes after the call are taken as code.
  const TFunctionInfo blind = Parse(code);
  EXPECT_FALSE(blind.is_valid);
  EXPECT_EQ(blind.last_error_no, kInvalidCodeError);
  EXPECT_EQ(blind.last_error_str, "Invalid code!");
  EXPECT_EQ(blind.last_error_addr, after);
}

TEST(ParseFunctionTest, CallThroughTheImportCellOfANeverReturningRoutineEndsThePath) {
  // call [cell]: in a file that is not loaded the cell holds no address.
  constexpr uint32_t kCell = kCode + 0x100;
  std::vector<uint8_t> code;
  Put(code, {0x6A, 0x03, 0xFF, 0x15});  // push 3; call [cell]
  Put32(code, kCell);
  const uint32_t after = Here(code);
  Put(code, {0xFF, 0xFF, 0xFF});
  code.resize(0x104, 0);
  SpecialRoutines routines;
  routines.never_return = {kCell};
  const TFunctionInfo info = Parse(code, routines);
  ASSERT_TRUE(info.is_valid);
  EXPECT_EQ(info.code_begin + info.code_len, after);
  EXPECT_FALSE(Parse(code).is_valid);
}

// cmp eax, 5; ja default; jmp [eax*4 + table]; table of 6 cases; the cases.
TEST(ParseFunctionTest, CaseTableOfSixEntries) {
  std::vector<uint8_t> code;
  Put(code, {0x83, 0xF8, 0x05, 0x77, 0x00});  // the branch's distance is set below
  const size_t branch = code.size() - 1;
  Put(code, {0xFF, 0x24, 0x85});
  const uint32_t table = Here(code) + 4;
  Put32(code, table);
  const uint32_t cases = table + 6 * 4;
  for (uint32_t i = 0; i < 6; ++i) Put32(code, cases + 2 * i);
  for (int i = 0; i < 6; ++i) Put(code, {0x40, 0xC3});  // inc eax; ret
  code[branch] = static_cast<uint8_t>(Here(code) - (kCode + 5));
  Put(code, {0x31, 0xC0, 0xC3});  // default: xor eax, eax; ret
  const TFunctionInfo info = Parse(code);
  ASSERT_TRUE(info.is_valid) << std::hex << info.last_error_addr;
  const CodeArea* area = AreaAt(info, table);
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(area->case_table);
  EXPECT_EQ(area->end - area->begin + 1, 6u * 4);
  for (uint32_t i = 0; i < 6; ++i) {
    const CodeArea* target = AreaAt(info, cases + 2 * i);
    ASSERT_NE(target, nullptr) << i;
    EXPECT_EQ(target->end, cases + 2 * i + 1);
    EXPECT_NE(target->called_from, 0u);
  }
  EXPECT_EQ(info.code_begin + info.code_len, Here(code));
  EXPECT_TRUE(info.unknown_targets.empty());
}

// The count a branch allows: "above" admits the compared value itself.
TEST(ParseFunctionTest, CaseCountFollowsTheBranch) {
  struct Case {
    uint8_t branch;
    uint32_t entries;
  } cases[] = {{0x77, 4}, {0x7F, 4}, {0x73, 3}, {0x7D, 3}};
  for (const Case& c : cases) {
    std::vector<uint8_t> code;
    Put(code, {0x83, 0xF9, 0x03, c.branch, 0x00});  // cmp ecx, 3; branch to the jump below
    Put(code, {0xFF, 0x24, 0x8D});                    // jmp [ecx*4 + table]
    const uint32_t table = Here(code) + 4;
    Put32(code, table);
    for (uint32_t i = 0; i < c.entries; ++i) Put32(code, table + 4 * c.entries);
    Put(code, {0xC3});
    const TFunctionInfo info = Parse(code);
    ASSERT_TRUE(info.is_valid) << int{c.branch};
    const CodeArea* area = AreaAt(info, table);
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->end - area->begin + 1, 4 * c.entries) << int{c.branch};
  }
}

TEST(ParseFunctionTest, JumpThunkResolvesToTheImport) {
  constexpr uint32_t kImport = 0x7C801234;
  std::vector<uint8_t> code;
  PutRel(code, 0xE8, kCode + 0x20);  // call thunk
  Put(code, {0xC3});
  code.resize(0x20, 0xCC);
  const uint32_t cell = kCode + 0x30;
  Put(code, {0xFF, 0x25});  // thunk: jmp [cell]
  Put32(code, cell);
  code.resize(0x30, 0xCC);
  Put32(code, kImport);
  const TFunctionInfo info = Parse(code);
  ASSERT_TRUE(info.is_valid);
  ASSERT_EQ(info.far_calls.size(), 1u);
  EXPECT_TRUE(info.far_calls[0].is_call);
  EXPECT_EQ(info.far_calls[0].target, kImport);
  EXPECT_EQ(info.code_len, 6u);  // the thunk is not part of the function
}

TEST(ParseFunctionTest, UncommittedEntryIsError87) {
  MappedMemory memory;
  memory.Map(kCode, {0xC3});
  TFunctionInfo info;
  info.code_areas.resize(3);
  EXPECT_FALSE(ParseFunction(0x500000, memory, {}, info));
  EXPECT_FALSE(info.is_valid);
  EXPECT_EQ(info.last_error_no, 87u);
  EXPECT_EQ(info.last_error_addr, 0x500000u);
  EXPECT_EQ(info.last_error_str, InvalidParameterText());
  EXPECT_FALSE(info.last_error_str.empty());
  EXPECT_TRUE(info.code_areas.empty());
}

// push handler; push dword fs:[0]; ...: the handler is the function's code
// although nothing jumps to it.
TEST(ParseFunctionTest, TryBlockHandlerIsCode) {
  std::vector<uint8_t> code;
  Put(code, {0x68});
  const uint32_t handler = kCode + 0x20;
  Put32(code, handler);
  Put(code, {0x64, 0xFF, 0x35, 0, 0, 0, 0});  // push dword fs:[0]
  Put(code, {0x64, 0x89, 0x25, 0, 0, 0, 0});  // mov fs:[0], esp
  Put(code, {0xC3});
  code.resize(0x20, 0xCC);
  Put(code, {0x33, 0xC0, 0xC3});
  const TFunctionInfo info = Parse(code);
  ASSERT_TRUE(info.is_valid);
  const CodeArea* area = AreaAt(info, handler);
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->end, handler + 2);
}

// A loop: the jump back into the parsed area splits it at the loop head.
TEST(ParseFunctionTest, BackwardJumpSplitsTheArea) {
  std::vector<uint8_t> code;
  Put(code, {0x31, 0xC0});  // xor eax, eax
  const uint32_t head = Here(code);
  Put(code, {0x40, 0x3D, 10, 0, 0, 0});  // inc eax; cmp eax, 10
  Put(code, {0x75, static_cast<uint8_t>(head - (Here(code) + 2))});  // jne head
  Put(code, {0xC3});
  const TFunctionInfo info = Parse(code);
  ASSERT_TRUE(info.is_valid);
  const CodeArea* first = AreaAt(info, kCode);
  const CodeArea* loop = AreaAt(info, head);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(first->end, head - 1);
  EXPECT_EQ(loop->called_from, head + 6);
  EXPECT_EQ(info.code_len, static_cast<uint32_t>(code.size()));
}

// jz over a jump through an unknown pointer: the hole after it is guessed
// to be code when it decodes, and dropped when it does not.
TEST(ParseFunctionTest, HoleAfterUnknownJump) {
  for (bool hole_is_code : {true, false}) {
    std::vector<uint8_t> code;
    Put(code, {0x74, 0x04});  // jz +4
    Put(code, {0xFF, 0x23});  // jmp [ebx]
    if (hole_is_code)
      Put(code, {0x90, 0xC3});  // nop; ret
    else
      Put(code, {0xFF, 0xFF});
    Put(code, {0xC3});
    const TFunctionInfo info = Parse(code);
    ASSERT_TRUE(info.is_valid) << hole_is_code;
    ASSERT_EQ(info.unknown_targets.size(), 1u);
    EXPECT_EQ(info.unknown_targets[0].code_addr, kCode + 2);
    EXPECT_EQ(AreaAt(info, kCode + 4) != nullptr, hole_is_code);
    EXPECT_EQ(info.code_len, 7u);
  }
}

// A jump through a register whose value an earlier move set is followed.
TEST(ParseFunctionTest, TrackedRegisterJump) {
  std::vector<uint8_t> code;
  Put(code, {0xB8});  // mov eax, target
  Put32(code, kCode + 0x10);
  Put(code, {0xFF, 0xE0});  // jmp eax
  code.resize(0x10, 0xCC);
  Put(code, {0xC3});
  const TFunctionInfo info = Parse(code);
  ASSERT_TRUE(info.is_valid);
  EXPECT_TRUE(info.unknown_targets.empty());
  EXPECT_NE(AreaAt(info, kCode + 0x10), nullptr);
}

TEST(ParseFunctionTest, Interceptable) {
  struct Case {
    std::vector<uint8_t> code;
    bool interceptable;
  } cases[] = {
      {{0x55, 0x89, 0xE5, 0x83, 0xEC, 0x08, 0xC9, 0xC3}, true},  // push, mov, sub, leave, ret
      {{0x55, 0x5D, 0xC3}, false},                               // too short
      {{0x74, 0x01, 0x90, 0x90, 0x90, 0x90, 0xC3}, false},       // a branch in the first bytes
      {{0x55, 0xE8, 0x00, 0x00, 0x00, 0x00, 0x5D, 0xC3}, true},  // reads its own address
  };
  for (const Case& c : cases)
    EXPECT_EQ(Parse(c.code).interceptable, c.interceptable) << ::testing::PrintToString(c.code);
}

// Within a PE image the module range, not the memory block, bounds the
// function: a jump into another section of the module is followed.
TEST(ParseFunctionTest, ModuleRangeFromHeaders) {
  constexpr uint32_t kBase = 0x400000;
  test::TestPeImage image;
  std::vector<uint8_t> text;
  text.push_back(0xE9);
  Put32(text, 0x2000 - 5 - 0x1000);  // jmp to the second code section
  image.AddSection(0x1000, 0x400, text, 0x60000020);
  image.AddSection(0x2000, 0x600, {0xC3}, 0x60000020);
  MappedMemory memory;
  memory.Map(kBase, image.Memory());
  TFunctionInfo info;
  ASSERT_TRUE(ParseFunction(kBase + 0x1000, memory, {}, info));
  EXPECT_NE(AreaAt(info, kBase + 0x2000), nullptr);
  EXPECT_TRUE(info.far_calls.empty());
}


// GCC's form: cmp cl, 2; ja default; movzx ecx, cl; jmp [ecx*4 + table]
// with the table among the data: its three targets are code, the table is
// no area of the function.
TEST(ParseFunctionTest, CaseTableAmongData) {
  std::vector<uint8_t> code;
  Put(code, {0x80, 0xF9, 0x02, 0x77, 0x10});  // to the default below
  Put(code, {0x0F, 0xB6, 0xC9, 0xFF, 0x24, 0x8D});
  const uint32_t table = kCode + 0x40;
  Put32(code, table);
  Put(code, {0x40, 0xC3, 0x41, 0xC3, 0x42, 0xC3});  // three cases
  Put(code, {0x31, 0xC0, 0xC3});                    // default
  code.resize(0x40, 0xCC);
  for (uint32_t i = 0; i < 3; ++i) Put32(code, kCode + 0x0F + 2 * i);
  const TFunctionInfo info = Parse(code);
  ASSERT_TRUE(info.is_valid);
  EXPECT_EQ(AreaAt(info, table), nullptr);
  for (uint32_t i = 0; i < 3; ++i) EXPECT_NE(AreaAt(info, kCode + 0x0F + 2 * i), nullptr) << i;
  EXPECT_EQ(info.code_len, 0x18u);
  EXPECT_TRUE(info.unknown_targets.empty());
}


// A jump to the typed-handler routine is followed by its table: a count and
// (class, handler) pairs; a call of the except routine returns to the code
// after it.
TEST(ParseFunctionTest, ExceptionRoutines) {
  constexpr uint32_t kExcept = 0x7C900000, kTyped = 0x7C900100;
  std::vector<uint8_t> code;
  PutRel(code, 0xE8, kExcept);
  Put(code, {0x90});
  PutRel(code, 0xE9, kTyped);
  const uint32_t table = Here(code);
  Put32(code, 2);
  Put32(code, 0x405000);
  Put32(code, kCode + 0x30);
  Put32(code, 0);
  Put32(code, kCode + 0x32);
  code.resize(0x30, 0xCC);
  Put(code, {0x40, 0xC3, 0x48, 0xC3});
  SpecialRoutines routines;
  routines.except_routine = kExcept;
  routines.typed_handler = kTyped;
  const TFunctionInfo info = Parse(code, routines);
  ASSERT_TRUE(info.is_valid) << std::hex << info.last_error_addr;
  const CodeArea* area = AreaAt(info, table);
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(area->handler_table);
  EXPECT_EQ(area->end, table + 2 * 8 + 3);
  EXPECT_NE(AreaAt(info, kCode + 0x30), nullptr);
  EXPECT_NE(AreaAt(info, kCode + 0x32), nullptr);
  EXPECT_EQ(info.far_calls.size(), 2u);
  EXPECT_EQ(info.code_len, 0x34u);
}

}  // namespace
}  // namespace qor

namespace qor {
namespace {

constexpr uint32_t kModule = 0x10000000;
constexpr uint32_t kCatching = kModule + 0x1000;

// A function whose call at +3 lands, when it throws, at a catch block at
// +0x20 that no jump of the function leads to: it calls the handler's work
// and jumps back to the function's exit. `pad` is where the tables say the
// landing pad is.
TFunctionInfo ParseCatching(uint32_t pad) {
  std::vector<uint8_t> code(0x40, 0xFF);
  const uint8_t body[] = {0x55, 0x8B, 0xEC, 0xE8, 0xF8, 0x00, 0x00, 0x00, 0x5D, 0xC3};  // call +0x100
  std::copy(std::begin(body), std::end(body), code.begin());
  const uint8_t handler[] = {0xE8, 0xFB, 0x01, 0x00, 0x00, 0xEB, 0xE1};  // call +0x220; jmp +8
  std::copy(std::begin(handler), std::end(handler), code.begin() + 0x20);
  code.resize(0x300, 0xC3);
  test::TestPeImage image;
  image.AddSection(0x1000, 0x400, code, 0x60000020, ".text");
  image.AddSection(0x2000, 0x800, test::EhFrameSection(kModule + 0x2000, kCatching, 0x40, kModule + 0x3000),
                   0x40300040, ".eh_fram");
  image.AddSection(0x3000, 0xC00, test::LsdaTable({{3, 5, pad}}), 0x40000040, ".rdata");
  MappedMemory memory;
  memory.Map(kModule, image.Memory());
  TFunctionInfo info;
  ParseFunction(kCatching, memory, {}, info);
  return info;
}

TEST(ParseFunctionTest, LandingPadsOfTheExceptionTablesAreCodeOfTheFunction) {
  const TFunctionInfo info = ParseCatching(0x20);
  ASSERT_TRUE(info.is_valid);
  const CodeArea* pad = AreaAt(info, kCatching + 0x20);
  ASSERT_NE(pad, nullptr);
  EXPECT_EQ(pad->called_from, kCatching + 3);
  EXPECT_EQ(pad->end, kCatching + 0x26);
  const bool handler_call = std::any_of(info.far_calls.begin(), info.far_calls.end(), [](const FarCall& c) {
    return c.after_addr == kCatching + 0x25 && c.target == kCatching + 0x220;
  });
  EXPECT_TRUE(handler_call);
}

TEST(ParseFunctionTest, LandingPadThatLeadsIntoNoCodeIsLeftOut) {
  const TFunctionInfo info = ParseCatching(0x30);  // bytes 0xFF
  ASSERT_TRUE(info.is_valid);
  EXPECT_EQ(AreaAt(info, kCatching + 0x30), nullptr);
  EXPECT_EQ(AreaAt(info, kCatching + 0x20), nullptr);
  EXPECT_EQ(info.code_len, 10u);
}

}  // namespace
}  // namespace qor
