// PE headers, export tables and exception tables read from arbitrary
// bytes, placed as a loaded module and as a file. Every read goes through a MemoryReader that
// holds exactly those bytes, so the readers cannot see anything else; ASan
// and UBSan watch the readers' own buffers and arithmetic.
#include <cstdint>
#include <string>
#include <vector>

#include "crash/modules/eh_tables.h"
#include "crash/modules/testing/mapped_memory.h"
#include "crash/modules/pe_exports.h"
#include "crash/modules/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr uint32_t kBase = 0x400000;
  qor::MappedMemory memory;
  memory.Map(kBase, std::vector<uint8_t>(data, data + size));
  qor::MappedMemory file;
  file.Map(0, std::vector<uint8_t>(data, data + size));

  // Forwarders lead back into the same bytes, so loops are exercised too.
  qor::ExportHooks hooks;
  hooks.find_module = [](std::string_view) { return kBase; };
  hooks.file_rva = [&file](uint32_t, uint32_t index, uint32_t& rva) {
    return qor::ExportRvaFromFile(file, index, rva);
  };

  uint32_t nt = qor::NtHeaders(memory, kBase);
  if (nt == 0) return 0;
  qor::SectionHeader section;
  for (uint32_t i = 0; i < 4; ++i) qor::ReadSection(memory, nt, i, section);
  for (uint32_t rva : {0u, 0x1000u, 0xffffffffu}) qor::RvaToFileOffset(memory, nt, rva);

  std::string name = size > 2 ? std::string(reinterpret_cast<const char*>(data), 2) : "A";
  qor::ExportAddressByName(memory, kBase, name, false, hooks);
  qor::ExportAddressByName(memory, kBase, name, true, hooks);
  for (uint32_t ordinal = 0; ordinal < 4; ++ordinal) {
    uint32_t address = qor::ExportAddressByOrdinal(memory, kBase, ordinal, hooks);
    qor::ExportNameOfAddress(memory, kBase, address, true);
  }
  uint32_t rva = 0;
  qor::ExportRvaFromFile(file, 0, rva);

  const qor::EhFrameIndex frames(memory, kBase);
  for (uint32_t at = 0; at < size && at < 0x4000; at += 0x400) frames.LandingPadsAt(memory, kBase + at);
  return 0;
}
