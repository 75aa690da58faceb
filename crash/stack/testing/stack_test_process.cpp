#include "crash/stack/testing/stack_test_process.h"

#include <cstring>

#include "crash/debuginfo/compact_writer.h"
#include "crash/debuginfo/testing/test_module_image.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor::test {
namespace {

constexpr uint8_t kPushEbp = 0x55;
constexpr uint8_t kPopEbp = 0x5D;
constexpr uint8_t kRet = 0xC3;

// Assembles one function at `address`.
class Assembler {
 public:
  explicit Assembler(uint32_t address) : address_(address) {
    bytes_ = {kPushEbp, 0x8B, 0xEC};  // push ebp; mov ebp, esp
  }
  Assembler& Call(uint32_t target) { return Relative(0xE8, target); }
  Assembler& Jump(uint32_t target) { return Relative(0xE9, target); }
  Assembler& JumpEax() {
    bytes_.insert(bytes_.end(), {0xFF, 0xE0});
    return *this;
  }
  Assembler& Load() {  // mov eax, [eax]
    bytes_.insert(bytes_.end(), {0x8B, 0x00});
    return *this;
  }
  std::vector<uint8_t> End() {
    bytes_.insert(bytes_.end(), {kPopEbp, kRet});
    return bytes_;
  }

 private:
  // An instruction of one opcode byte and a 32-bit displacement.
  Assembler& Relative(uint8_t opcode, uint32_t target) {
    const uint32_t next = address_ + static_cast<uint32_t>(bytes_.size()) + 5;
    bytes_.push_back(opcode);
    Put32(bytes_, static_cast<uint32_t>(bytes_.size()), target - next);
    return *this;
  }

  uint32_t address_;
  std::vector<uint8_t> bytes_;
};

struct Function {
  const char* name;
  uint32_t address;
  std::vector<uint8_t> code;
  std::vector<int32_t> lines;  // one per 5 bytes from +3, after the first line at +0
};

std::vector<Function> ProgramFunctions() {
  return {
      {"Outer", kOuter, Assembler(kOuter).Call(kMiddle).End(), {}},
      {"Middle", kMiddle, Assembler(kMiddle).Call(kInner).End(), {21}},
      {"Inner", kInner, Assembler(kInner).Call(kLeaf).End(), {31}},
      {"Leaf", kLeaf, Assembler(kLeaf).Load().End(), {41}},
      {"Ping", kPing, Assembler(kPing).Call(kPong).Call(kLeaf).End(), {51, 52}},
      {"Pong", kPong, Assembler(kPong).Call(kPing).End(), {61}},
      {"@raiseExcept", kRaise, Assembler(kRaise).End(), {}},
      {"Thrower", kThrower, Assembler(kThrower).Call(kRaise).End(), {81}},
      {"BadCaller", kBadCaller, Assembler(kBadCaller).Call(kBadAddress).End(), {91}},
      {"Main", kMain,
       Assembler(kMain).Call(kOuter).Call(kPing).Call(kThrower).Call(kBadCaller)
           .Call(kHelperFunction).End(),
       {101, 102, 103, 104, 105}},
      {"Hop", kHop, Assembler(kHop).Jump(kHelperHop).End(), {}},
      {"Detour", kDetour, Assembler(kDetour).JumpEax().Call(kLeaf).End(), {}},
      {"Host", kHost, Assembler(kHost).Call(kLeaf).End(), {131}},
  };
}

// Lines: the first at the function's start, numbered ten per function, and
// then one per call at +3, +8, ...
CompactTables ProgramDebugInfo() {
  CompactTables tables;
  tables.segments.push_back({0, 0x1000, "Main", false});
  int32_t first_line = kOuterLine;
  for (const Function& f : ProgramFunctions()) {
    tables.publics.push_back({f.name, f.address - kCode});
    tables.lines.push_back({first_line, f.address - kCode});
    uint32_t at = f.address - kCode + 3;
    for (const int32_t line : f.lines) {
      tables.lines.push_back({line, at});
      at += 5;
    }
    first_line += 10;
  }
  tables.inlines = {{kHost + 3 - kCode, {{"Step", "step.h", 7}, {"Walk", "walk.h", 12}}},
                    {kHost + 8 - kCode, {}}};
  return tables;
}

std::vector<uint8_t> ProgramImage() {
  TestModule module;
  module.code_size = 0x1000;
  module.resources.push_back(
      {{0, "QOR"}, {0, "EXCEPT"}, 0, 0, WriteCompact(ProgramDebugInfo(), {})});
  std::vector<uint8_t> image = module.Memory();
  for (const Function& f : ProgramFunctions()) {
    std::memcpy(&image[f.address - kProgramBase], f.code.data(), f.code.size());
  }
  return image;
}

std::vector<uint8_t> HelperImage() {
  TestPeImage image;
  std::vector<uint8_t> code = Assembler(kHelperFunction).Call(kLeaf).End();
  code.resize(kHelperHop - kHelperFunction);
  const std::vector<uint8_t> hop = Assembler(kHelperHop).Jump(kHop).End();
  code.insert(code.end(), hop.begin(), hop.end());
  image.AddSection(0x1000, 0x400, code, 0x60000020);
  image.SetExports(0x2000, 0x800, 1,
                   {{"HelperEntry", kHelperFunction - kHelperBase, ""},
                    {"HelperHop", kHelperHop - kHelperBase, ""}});
  return image.Memory();
}

}  // namespace

uint32_t TestStack::Push(uint32_t value) {
  values_.push_back(value);
  return Bottom();
}

void TestStack::Call(uint32_t return_address) {
  Push(return_address);
  frame_pointer = Push(frame_pointer);
}

std::vector<uint8_t> TestStack::Memory() const {
  std::vector<uint8_t> bytes(kStackTop - kStackBase);
  uint32_t slot = kStackTop - kStackBase;
  for (const uint32_t value : values_) {
    slot -= 4;
    Put32(bytes, slot, value);
  }
  return bytes;
}

TestProcess::TestProcess() : program_info_(std::make_shared<TMapFile>()) {
  memory.Map(kProgramBase, ProgramImage());
  memory.Map(kHelperBase, HelperImage());
  program_info_->Load(memory, kProgramBase, "C:\\app\\test.exe", false);
}

void TestProcess::MapStack(const TestStack& stack) {
  memory.Map(kStackBase, stack.Memory(), 0x04 /*READWRITE*/, 0x20000 /*MEM_PRIVATE*/);
}

bool TestProcess::ModuleFileName(uint32_t base, std::string& name) const {
  if (base == kProgramBase) {
    name = "C:\\app\\test.exe";
  } else if (base == kHelperBase) {
    name = "C:\\app\\helper.dll";
  } else {
    return false;
  }
  return true;
}

std::shared_ptr<const TMapFile> TestProcess::DebugInfoAt(uint32_t address) const {
  if (address >= kProgramBase && address < kProgramBase + 0x10000) return program_info_;
  return nullptr;
}

}  // namespace qor::test
