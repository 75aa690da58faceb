#include "crash/stack/stack_tables.h"

#include "crash/modules/pe_exports.h"
#include "crash/modules/pe_image.h"

namespace qor {
namespace {

constexpr uint32_t kMemCommit = 0x1000;
constexpr size_t kInitialRows = 16;

std::string WithoutPath(const std::string& name) {
  const size_t slash = name.rfind('\\');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool StrictlyInside(uint32_t address, uint32_t begin, uint32_t end) {
  return begin < address && address < end;
}

int32_t FindFunction(uint32_t entry) {
  const auto& index = Tables().FunctionAt;
  const auto found = index.find(entry);
  return found == index.end() ? -1 : found->second;
}

int32_t ModuleOfAddress(const StackTraceContext& context, uint32_t address) {
  const auto& modules = Tables().Modules;
  for (size_t i = 0; i < modules.size(); ++i) {
    const TModuleEntry& m = modules[i];
    if (StrictlyInside(address, m.CodeBegin, m.CodeEnd) ||
        StrictlyInside(address, m.DataBegin, m.DataEnd)) {
      return static_cast<int32_t>(i);
    }
  }
  MemoryRegion region;
  if (context.memory.QueryRegion(address, region) && region.state == kMemCommit &&
      region.allocation_base != 0) {
    return RegisterModule(context, region.allocation_base);
  }
  return -1;
}

// The runtime's exception and termination routines of a module that
// carries its own copy of the runtime, found in its publics by name.
SpecialRoutines ModuleRoutines(const TMapFile& map) {
  const auto find = [&map](const char* name) {
    return map.PublicAddressByName(SymbolKind::kCode, "System", true, name);
  };
  SpecialRoutines routines;
  routines.except_routine = find("@HandleAnyException");
  routines.finally_routine = find("@HandleFinally");
  routines.auto_exception = find("@HandleAutoException");
  routines.typed_handler = find("@HandleOnException");
  if (const uint32_t halt = find("@Halt0")) routines.never_return.push_back(halt);
  return routines;
}

TFunctionInfo Analyse(const StackTraceContext& context, uint32_t entry, int32_t module,
                      bool force_valid) {
  const TModuleEntry* row = module >= 0 ? &Tables().Modules[module] : nullptr;
  const bool own_runtime = row && row->DebugInfo && row->Handle != context.facts.MainModuleBase();
  TFunctionInfo info;
  ParseFunction(entry, context.memory,
                own_runtime ? ModuleRoutines(*row->DebugInfo) : context.default_routines, info,
                row ? row->EhFrames.get() : nullptr);
  if (!info.is_valid && force_valid) {
    // What was found before the analysis failed is not trusted; the row only
    // stands for the address.
    info = TFunctionInfo{};
    info.is_valid = true;
    info.entry_point = info.code_begin = entry;
  }
  return info;
}

// On the 9x family DispatchMessageA returns through system code that leaves
// no trace on the stack, so its calls are linked like calls of unknown
// target.
void AddDispatchCalls(const StackTraceContext& context, TFunctionInfo& info) {
  const uint32_t dispatch = context.facts.DispatchMessageAddress();
  if (!context.facts.Is9x() || dispatch == 0) return;
  for (const FarCall& call : info.far_calls) {
    if (call.is_call && call.target == dispatch) {
      info.unknown_targets.push_back({true, call.code_addr, call.after_addr});
    }
  }
}

std::string NameOfAddress(const StackTraceContext& context, int32_t module, uint32_t address) {
  if (module < 0) return {};
  const TModuleEntry& row = Tables().Modules[module];
  if (row.DebugInfo) {
    const TMfPublic item = row.DebugInfo->PublicAt(address);
    return item.Valid && item.Address == address ? item.Name : std::string();
  }
  return ExportNameOfAddress(context.memory, row.Handle, address, false);
}

}  // namespace

StackTraceTables& Tables() {
  static StackTraceTables tables = [] {
    StackTraceTables t;
    t.Modules.reserve(kInitialRows);
    t.Functions.reserve(kInitialRows);
    return t;
  }();
  return tables;
}

void ResetStackTraceTables() {
  Tables().Modules.clear();
  Tables().Functions.clear();
  Tables().FunctionAt.clear();
}

int32_t RegisterModule(const StackTraceContext& context, uint32_t base) {
  auto& modules = Tables().Modules;
  for (size_t i = 0; i < modules.size(); ++i) {
    if (modules[i].Handle == base) return static_cast<int32_t>(i);
  }
  std::string file_name;
  if (!context.facts.ModuleFileName(base, file_name)) return -1;
  const uint32_t nt_headers = NtHeaders(context.memory, base);
  if (nt_headers == 0) return -1;
  TModuleEntry row;
  row.Handle = base;
  row.FileName = WithoutPath(file_name);
  const ModuleRanges ranges = ReadModuleRanges(context.memory, row.Handle, nt_headers);
  row.CodeBegin = ranges.code_begin;
  row.CodeEnd = ranges.code_end;
  row.DataBegin = ranges.data_begin;
  row.DataEnd = ranges.data_end;
  row.EhFrames = std::make_shared<const EhFrameIndex>(context.memory, base);
  auto debug_info = context.facts.DebugInfoAt(base);
  if (debug_info && debug_info->Valid) row.DebugInfo = std::move(debug_info);
  modules.push_back(std::move(row));
  return static_cast<int32_t>(modules.size() - 1);
}

int32_t RegisterFunction(const StackTraceContext& context, uint32_t entry, const std::string& name,
                         int32_t module, bool force_valid, bool approved) {
  const int32_t found = FindFunction(entry);
  if (found >= 0) {
    if (approved && !Tables().Functions[found].Approved) MarkApproved(entry);
    return found;
  }
  if (entry == 0 && !force_valid) return -1;
  if (module < 0) module = ModuleOfAddress(context, entry);
  TFunctionInfo info = Analyse(context, entry, module, force_valid);
  if (!info.is_valid) return -1;
  AddDispatchCalls(context, info);
  std::vector<uint32_t> jump_targets;
  for (const FarCall& call : info.far_calls) {
    if (!call.is_call) jump_targets.push_back(call.target);
  }
  TFunctionEntry row;
  row.Module = module;
  row.Name = name.empty() ? NameOfAddress(context, module, entry) : name;
  row.Info = std::move(info);
  row.Approved = approved;
  auto& functions = Tables().Functions;
  functions.push_back(std::move(row));
  const auto index = static_cast<int32_t>(functions.size() - 1);
  Tables().FunctionAt[entry] = index;
  for (const uint32_t target : jump_targets) {
    RegisterFunction(context, target, {}, -1, false, approved);
  }
  return index;
}

void MarkApproved(uint32_t entry) {
  // A worklist rather than recursion: chains of jumps between functions can
  // be long, and an approved row is never visited again, so cycles end.
  std::vector<uint32_t> pending{entry};
  while (!pending.empty()) {
    const int32_t found = FindFunction(pending.back());
    pending.pop_back();
    if (found < 0 || Tables().Functions[found].Approved) continue;
    TFunctionEntry& row = Tables().Functions[found];
    row.Approved = true;
    for (const FarCall& call : row.Info.far_calls) {
      if (!call.is_call) pending.push_back(call.target);
    }
  }
}

}  // namespace qor
