// Decoding speed on the same bytes: our decoder in its analysis form (no
// text) against Zydis's decoder and Capstone's (detail off). The input is
// the code section of Wine's kernel32.dll, swept linearly.
#include <Zydis/Zydis.h>
#include <benchmark/benchmark.h>
#include <capstone/capstone.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "crash/disasm/disasm.h"
#include "crash/modules/testing/mapped_memory.h"

namespace {

constexpr uint32_t kBase = 0x7b000000;

uint32_t Le32(const std::vector<uint8_t>& f, size_t at) {
  return f[at] | f[at + 1] << 8 | f[at + 2] << 16 | uint32_t{f[at + 3]} << 24;
}

// The first executable section of kernel32.dll; 1 MB of a fixed pattern
// of common instructions when Wine is not installed.
const std::vector<uint8_t>& Code() {
  static const std::vector<uint8_t> code = [] {
    std::ifstream in("/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll", std::ios::binary);
    std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (f.size() > 0x200) {
      const size_t nt = Le32(f, 0x3C);
      const unsigned count = f[nt + 6] | f[nt + 7] << 8;
      size_t header = nt + 24 + (f[nt + 20] | f[nt + 21] << 8);
      for (unsigned i = 0; i < count; ++i, header += 40) {
        if (Le32(f, header + 36) & 0x20000000) {
          const size_t raw = Le32(f, header + 20);
          const size_t size = std::min<size_t>(Le32(f, header + 16), f.size() - raw);
          return std::vector<uint8_t>(f.begin() + raw, f.begin() + raw + size);
        }
      }
    }
    const uint8_t pattern[] = {0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10, 0x8B, 0x45, 0x08, 0xE8,
                               0x10, 0x00, 0x00, 0x00, 0x85, 0xC0, 0x74, 0x05, 0xC9, 0xC3};
    std::vector<uint8_t> bytes;
    while (bytes.size() < (1 << 20)) bytes.insert(bytes.end(), std::begin(pattern), std::end(pattern));
    return bytes;
  }();
  return code;
}

void OurDecoder(benchmark::State& state) {
  const std::vector<uint8_t>& code = Code();
  qor::MappedMemory memory;
  memory.Map(kBase, code);
  const uint32_t end = kBase + static_cast<uint32_t>(code.size());
  int64_t instructions = 0;
  for (auto _ : state) {
    qor::CodeInfo info;
    for (uint32_t at = kBase; at < end; ++instructions) {
      qor::DecodeCode(memory, at, info);
      at = info.is_valid ? info.next : at + 1;
    }
    benchmark::DoNotOptimize(info);
  }
  state.SetItemsProcessed(instructions);
}

void Zydis(benchmark::State& state) {
  const std::vector<uint8_t>& code = Code();
  ZydisDecoder decoder;
  ZydisDecoderInit(&decoder, ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
  int64_t instructions = 0;
  for (auto _ : state) {
    ZydisDecoderContext context;
    ZydisDecodedInstruction instruction;
    for (size_t at = 0; at < code.size(); ++instructions) {
      const bool ok = ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(
          &decoder, &context, code.data() + at, code.size() - at, &instruction));
      at += ok ? instruction.length : 1;
    }
    benchmark::DoNotOptimize(instruction);
  }
  state.SetItemsProcessed(instructions);
}

void Capstone(benchmark::State& state) {
  const std::vector<uint8_t>& code = Code();
  csh handle;
  if (cs_open(CS_ARCH_X86, CS_MODE_32, &handle) != CS_ERR_OK) {
    state.SkipWithError("cs_open failed");
    return;
  }
  cs_option(handle, CS_OPT_DETAIL, CS_OPT_OFF);
  cs_insn* insn = cs_malloc(handle);
  int64_t instructions = 0;
  for (auto _ : state) {
    for (size_t at = 0; at < code.size(); ++instructions) {
      const uint8_t* bytes = code.data() + at;
      size_t left = code.size() - at;
      uint64_t address = kBase + at;
      at += cs_disasm_iter(handle, &bytes, &left, &address, insn) ? insn->size : 1;
    }
  }
  cs_free(insn, 1);
  cs_close(&handle);
  state.SetItemsProcessed(instructions);
}

BENCHMARK(OurDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(Zydis)->Unit(benchmark::kMillisecond);
BENCHMARK(Capstone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
