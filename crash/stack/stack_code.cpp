#include "crash/stack/stack_code.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "crash/disasm/disasm.h"
#include "crash/modules/pe_image.h"
#include "crash/stack/stack_tables.h"

namespace qor {
namespace {

constexpr uint8_t kCallRel32 = 0xE8;
constexpr uint8_t kGroupFF = 0xFF;
constexpr uint8_t kCallFar = 0x9A;

// ModRM of 0xFF whose reg field is 2 or 3: a near or far indirect call.
bool IsIndirectCallModRm(uint8_t modrm) { return ((modrm >> 4) & 3) == 1; }

bool ContainsIgnoringCase(const std::string& text, const std::string& part) {
  const auto it = std::search(text.begin(), text.end(), part.begin(), part.end(),
                              [](char a, char b) {
                                return std::tolower(static_cast<unsigned char>(a)) ==
                                       std::tolower(static_cast<unsigned char>(b));
                              });
  return it != text.end();
}

bool IsRaiseRoutine(const std::string& name) {
  return ContainsIgnoringCase(name, "@RaiseExcept") || ContainsIgnoringCase(name, "Error");
}

bool IsCodeArea(const CodeArea& area) { return !area.case_table && !area.handler_table; }

bool AreaHolds(const CodeArea& area, uint32_t address) {
  return IsCodeArea(area) && area.begin < address && uint64_t{address} <= uint64_t{area.end} + 1;
}

// Decodes from the start of the area that holds the byte before `address`
// until an instruction ends exactly there.
bool InstructionEndingAt(const StackTraceContext& context, const TFunctionInfo& info,
                         uint32_t address, uint32_t& start) {
  const auto area = std::find_if(info.code_areas.begin(), info.code_areas.end(),
                                 [address](const CodeArea& a) { return AreaHolds(a, address); });
  if (area == info.code_areas.end()) return false;
  uint32_t position = area->begin;
  while (position < address) {
    CodeInfo code;
    if (!DecodeCode(context.memory, position, code) || code.next <= position) return false;
    if (code.next == address) {
      start = position;
      return true;
    }
    position = code.next;
  }
  return false;
}

// The call before `before` that went to a raise routine, if any.
bool RaiseCallBefore(const StackTraceContext& context, int32_t function, uint32_t before,
                     FarCall& found) {
  std::vector<FarCall> candidates;
  for (const FarCall& call : Tables().Functions[function].Info.far_calls) {
    if (call.after_addr == before) candidates.push_back(call);
  }
  for (const FarCall& call : candidates) {
    const int32_t target = RegisterFunction(context, call.target, {}, -1, false, false);
    if (target >= 0 && IsRaiseRoutine(Tables().Functions[target].Name)) {
      found = call;
      return true;
    }
  }
  return false;
}

bool LocateTop(const StackTraceContext& context, int32_t function, uint32_t before,
               uint32_t& address, CallSite& site) {
  const TFunctionInfo& info = Tables().Functions[function].Info;
  if (info.code_len == 0) {
    site.code = address;
    return address == info.entry_point;
  }
  FarCall raise;
  if (before != 0 && RaiseCallBefore(context, function, before, raise)) {
    site = {raise.code_addr, raise.target, true};
    address = raise.after_addr;
    return true;
  }
  const TFunctionInfo& again = Tables().Functions[function].Info;
  return InstructionEndingAt(context, again, address, site.code);
}

bool LocateReturn(int32_t function, uint32_t address, CallSite& site) {
  const TFunctionInfo& info = Tables().Functions[function].Info;
  for (const UnknownTarget& entry : info.unknown_targets) {
    if (entry.after_addr == address) {
      site = {entry.code_addr, 0, false};
      return true;
    }
  }
  for (const FarCall& call : info.far_calls) {
    if (call.after_addr == address) {
      site = {call.code_addr, call.target, true};
      return true;
    }
  }
  return false;
}

uint32_t EntryPointOfModule(const MemoryReader& memory, uint32_t base) {
  const uint32_t nt_headers = NtHeaders(memory, base);
  uint32_t rva = 0;
  if (nt_headers == 0 || !ReadU32(memory, nt_headers + 24 + 16, rva) || rva == 0) return 0;
  return base + rva;
}

// The highest exported code address below `address`; forwarders, whose
// entries point at text inside the export directory, are no code.
uint32_t HighestExportBelow(const MemoryReader& memory, uint32_t base, uint32_t address) {
  DataDirectory directory;
  if (!ReadDataDirectory(memory, base, kExportDirectory, directory)) return 0;
  const uint32_t table = base + directory.rva;
  uint32_t count = 0, functions = 0;
  if (!ReadU32(memory, table + 20, count) || !ReadU32(memory, table + 28, functions)) return 0;
  uint32_t best = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t rva = 0;
    if (!ReadU32(memory, base + functions + 4 * i, rva)) break;
    const bool forwarder = rva >= directory.rva && rva - directory.rva < directory.size;
    const uint32_t at = base + rva;
    if (rva != 0 && !forwarder && at < address && at > best) best = at;
  }
  return best;
}

}  // namespace

bool FollowsCallInstruction(const MemoryReader& memory, uint32_t address) {
  uint8_t b[8];
  if (address < sizeof b || !memory.ReadAll(address - 8, b, sizeof b)) return false;
  // b[8 - k] is the byte k places before `address`.
  if (b[8 - 5] == kCallRel32) return true;
  for (const int length : {2, 3, 4, 6, 7}) {
    if (b[8 - length] == kGroupFF && IsIndirectCallModRm(b[9 - length])) return true;
  }
  return b[8 - 7] == kCallFar;
}

int32_t NearestExportBelow(const StackTraceContext& context, int32_t module, uint32_t address) {
  const uint32_t base = Tables().Modules[module].Handle;
  uint32_t best = HighestExportBelow(context.memory, base, address);
  const uint32_t entry = EntryPointOfModule(context.memory, base);
  if (entry > best && entry < address) best = entry;
  if (best == 0) return -1;
  return RegisterFunction(context, best, {}, module, false, true);
}

bool AddressInFunctionAreas(int32_t function, uint32_t address) {
  if (function < 0) return false;
  const TFunctionEntry& row = Tables().Functions[function];
  if (row.Rejected) return false;
  return std::any_of(row.Info.code_areas.begin(), row.Info.code_areas.end(),
                     [address](const CodeArea& a) { return AreaHolds(a, address); });
}

bool LocateCallSite(const StackTraceContext& context, int32_t function, uint32_t before,
                    uint32_t& address, bool top, CallSite& site) {
  site = {};
  if (function < 0 || Tables().Functions[function].Rejected) return false;
  return top ? LocateTop(context, function, before, address, site)
             : LocateReturn(function, address, site);
}

}  // namespace qor
