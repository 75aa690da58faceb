#include "crash/stack/testing/deep_stack_process.h"

#include "crash/debuginfo/compact_writer.h"
#include "crash/debuginfo/testing/test_module_image.h"
#include "crash/modules/testing/pe_test_image.h"

namespace qor::test {
namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kStackBase = 0x10000000;

uint32_t PageAligned(uint32_t size) { return (size + kPage - 1) / kPage * kPage; }

std::vector<uint8_t> Code(uint32_t depth) {
  std::vector<uint8_t> code(PageAligned(depth * DeepStackProcess::kFunctionSize), 0xCC);
  for (uint32_t i = 0; i < depth; ++i) {
    const uint32_t at = i * DeepStackProcess::kFunctionSize;
    const uint32_t address = DeepStackProcess::Function(i);
    code[at] = 0x55;  // push ebp
    code[at + 1] = 0x8B;  // mov ebp, esp
    code[at + 2] = 0xEC;
    if (i + 1 < depth) {
      code[at + 3] = 0xE8;  // call the next function
      Put32(code, at + 4, DeepStackProcess::Function(i + 1) - (address + 8));
    } else {
      code[at + 3] = 0x8B;  // mov eax, [eax]
      code[at + 4] = 0x00;
      code[at + 5] = 0x90;
      code[at + 6] = 0x90;
      code[at + 7] = 0x90;
    }
    code[at + 8] = 0x5D;  // pop ebp
    code[at + 9] = 0xC3;  // ret
  }
  return code;
}

// A public and two lines per function: its first line, and the call.
CompactTables DebugInfo(uint32_t depth) {
  CompactTables tables;
  tables.segments.push_back({0, depth * DeepStackProcess::kFunctionSize, "Deep", false});
  for (uint32_t i = 0; i < depth; ++i) {
    const uint32_t offset = i * DeepStackProcess::kFunctionSize;
    tables.publics.push_back({"f" + std::to_string(i), offset});
    tables.lines.push_back({static_cast<int32_t>(10 * i + 1), offset});
    tables.lines.push_back({static_cast<int32_t>(10 * i + 2), offset + 3});
  }
  return tables;
}

}  // namespace

DeepStackProcess::DeepStackProcess(uint32_t depth) : depth_(depth), info_(std::make_shared<TMapFile>()) {
  TestModule module;
  module.code_size = PageAligned(depth * kFunctionSize);
  module.data_rva = module.code_rva + module.code_size;
  module.resource_rva = module.data_rva + module.data_size;
  module.resources.push_back({{0, "QOR"}, {0, "EXCEPT"}, 0, 0, WriteCompact(DebugInfo(depth), {})});
  std::vector<uint8_t> image = module.Memory();
  const std::vector<uint8_t> code = Code(depth);
  std::copy(code.begin(), code.end(), image.begin() + (kCode - kBase));
  memory.Map(kBase, std::move(image));
  info_->Load(memory, kBase, "C:\\app\\deep.exe", false);

  // The return address of function i's call, outermost at the top.
  const uint32_t slots = depth - 1;
  std::vector<uint8_t> stack(PageAligned(slots * 4));
  stack_top_ = kStackBase + static_cast<uint32_t>(stack.size());
  stack_bottom_ = stack_top_ - slots * 4;
  for (uint32_t i = 0; i < slots; ++i) {
    Put32(stack, stack_top_ - kStackBase - 4 * (i + 1), Function(i) + 8);
  }
  memory.Map(kStackBase, std::move(stack), 0x04 /*READWRITE*/, 0x20000 /*MEM_PRIVATE*/);
}

bool DeepStackProcess::ModuleFileName(uint32_t base, std::string& name) const {
  if (base != kBase) return false;
  name = "C:\\app\\deep.exe";
  return true;
}

std::shared_ptr<const TMapFile> DeepStackProcess::DebugInfoAt(uint32_t address) const {
  return address >= kBase && address < kStackBase ? info_ : nullptr;
}

}  // namespace qor::test
