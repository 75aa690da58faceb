// A synthetic process with a very deep stack: a program of `depth` small
// functions, each calling the next, and a stack that holds the return
// address of every call and nothing else, as optimised code without frame
// pointers leaves it. Only the innermost item is sure, so the whole stack
// is one chain for the walker to choose.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crash/debuginfo/map_file.h"
#include "crash/modules/testing/mapped_memory.h"
#include "crash/stack/stack_context.h"

namespace qor::test {

class DeepStackProcess : public ProcessFacts {
 public:
  static constexpr uint32_t kBase = 0x00400000;
  static constexpr uint32_t kCode = 0x00401000;
  static constexpr uint32_t kFunctionSize = 16;

  explicit DeepStackProcess(uint32_t depth);

  StackTraceContext Context() const { return {memory, *this, {}, nullptr}; }
  // Function i: "push ebp; mov ebp, esp; call function i+1; pop ebp; ret",
  // the last one loading through eax at +3 instead of calling.
  static uint32_t Function(uint32_t i) { return kCode + i * kFunctionSize; }
  uint32_t Fault() const { return Function(depth_ - 1) + 3; }
  uint32_t StackBottom() const { return stack_bottom_; }
  uint32_t StackTop() const { return stack_top_; }

  bool ModuleFileName(uint32_t base, std::string& name) const override;
  uint32_t MainModuleBase() const override { return kBase; }
  bool Is9x() const override { return false; }
  uint32_t DispatchMessageAddress() const override { return 0; }
  std::shared_ptr<const TMapFile> DebugInfoAt(uint32_t address) const override;

  MappedMemory memory;

 private:
  uint32_t depth_;
  uint32_t stack_bottom_ = 0;
  uint32_t stack_top_ = 0;
  std::shared_ptr<TMapFile> info_;
};

}  // namespace qor::test
