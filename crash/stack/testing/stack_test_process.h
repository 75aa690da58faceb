// A small synthetic process for the stack walker's tests: a program module
// with real x86 functions and compact debug information, a helper DLL
// without debug information that exports one function, and a stack built
// by pushing return addresses and saved frame pointers as calls do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "crash/debuginfo/map_file.h"
#include "crash/modules/testing/mapped_memory.h"
#include "crash/stack/stack_context.h"

namespace qor::test {

inline constexpr uint32_t kProgramBase = 0x00400000;
inline constexpr uint32_t kCode = 0x00401000;
inline constexpr uint32_t kData = 0x00408000;
inline constexpr uint32_t kHelperBase = 0x10000000;
inline constexpr uint32_t kHelperFunction = 0x10001000;
inline constexpr uint32_t kBadAddress = 0x00001234;
inline constexpr uint32_t kStackBase = 0x00120000;
inline constexpr uint32_t kStackTop = 0x00121000;

// The program's functions. Each begins "push ebp; mov ebp, esp"; a call
// at +3 returns to +8, a second call at +8 returns to +13, and so on.
inline constexpr uint32_t kOuter = kCode + 0x000;    // calls Middle
inline constexpr uint32_t kMiddle = kCode + 0x020;   // calls Inner
inline constexpr uint32_t kInner = kCode + 0x040;    // calls Leaf
inline constexpr uint32_t kLeaf = kCode + 0x060;     // mov eax, [eax] at +3
inline constexpr uint32_t kPing = kCode + 0x080;     // calls Pong, then Leaf
inline constexpr uint32_t kPong = kCode + 0x0A0;     // calls Ping
inline constexpr uint32_t kRaise = kCode + 0x0C0;    // "@raiseExcept": raises
inline constexpr uint32_t kThrower = kCode + 0x100;  // calls the raise routine
inline constexpr uint32_t kBadCaller = kCode + 0x120;  // calls kBadAddress
inline constexpr uint32_t kMain = kCode + 0x140;     // calls Outer, Ping, Thrower, BadCaller, the helper
inline constexpr uint32_t kHop = kCode + 0x160;      // jumps to the helper's hop
// "jmp eax" at +3 ends what the analysis can follow; the call of Leaf at +5
// after it is never reached.
inline constexpr uint32_t kDetour = kCode + 0x180;
// Calls Leaf at +3 from code inlined there: Step, inlined into Walk, inlined
// into Host.
inline constexpr uint32_t kHost = kCode + 0x1A0;
// The helper DLL's exports: one calls Leaf at +3, the other jumps back to
// Hop, so jumps between the modules form a cycle.
inline constexpr uint32_t kHelperHop = kHelperFunction + 0x10;

// First source line of each function; its call at +3 is on the next line
// except in Outer, whose first line covers its call.
inline constexpr int32_t kOuterLine = 10;
inline constexpr int32_t kMiddleLine = 20;
inline constexpr int32_t kLeafLine = 40;

// A stack that grows down from kStackTop.
class TestStack {
 public:
  // Pushes a dword; returns its slot.
  uint32_t Push(uint32_t value);
  // Pushes a return address and a frame: the saved frame pointer, which
  // then becomes the frame pointer.
  void Call(uint32_t return_address);
  uint32_t Bottom() const { return kStackTop - 4 * static_cast<uint32_t>(values_.size()); }
  uint32_t frame_pointer = 0;
  std::vector<uint8_t> Memory() const;

 private:
  std::vector<uint32_t> values_;  // from the top down
};

class TestProcess : public ProcessFacts {
 public:
  TestProcess();

  void MapStack(const TestStack& stack);
  StackTraceContext Context() const { return {memory, *this, {}, nullptr}; }

  bool ModuleFileName(uint32_t base, std::string& name) const override;
  uint32_t MainModuleBase() const override { return kProgramBase; }
  bool Is9x() const override { return is_9x; }
  uint32_t DispatchMessageAddress() const override { return dispatch_message; }
  std::shared_ptr<const TMapFile> DebugInfoAt(uint32_t address) const override;

  MappedMemory memory;
  bool is_9x = false;
  uint32_t dispatch_message = 0;

 private:
  std::shared_ptr<TMapFile> program_info_;
};

}  // namespace qor::test
