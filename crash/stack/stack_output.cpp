// Phase 6: what each remaining item prints, and the two outputs that tell
// the caller where the innermost call came from.
#include "crash/stack/stack_phases.h"
#include "crash/stack/stack_tables.h"
#include "crash/modules/unmangle.h"

namespace qor {
namespace {

const TStackLink* ApprovedCaller(const TStackItem& item) {
  for (const TStackLink& link : item.Links[kCallers].Entries) {
    if (link.Function >= 0 && Tables().Functions[link.Function].Approved) return &link;
  }
  return nullptr;
}

uint32_t PrintedAddress(const TStackItem& item) {
  for (const TStackLink& link : item.Links[kCallers].Entries) {
    if (link.CodeAddr != 0) return link.CodeAddr;
  }
  const TStackLinkList& callees = item.Links[kCallees];
  return callees.Best >= 0 ? callees.Entries[callees.Best].CodeAddr : item.Address;
}

void Store(uint32_t* out, uint32_t value) {
  if (out) *out = value;
}

// Unit, line, the inlined functions there and (when still unknown) the
// function from the module's debug information.
void AddDebugInfo(const TMapFile& map, bool relative_lines, TStackItemInfo& out) {
  if (out.FunctionName.empty()) {
    const TMfPublic item = map.PublicAt(out.Address);
    if (item.Valid) {
      out.FunctionName = item.Name;
      out.FunctionStart = item.Address;
    }
  }
  out.UnitName = map.SegmentAt(SymbolKind::kCode, out.Address).UnitName;
  out.Line = map.LineAt(out.Address);
  out.Inlined = map.Inlines.At(out.Address);
  if (relative_lines && out.Line > 0 && out.FunctionStart != 0) {
    out.FunctionLine = map.LineAt(out.FunctionStart);
    if (out.FunctionLine > 0) {
      const int32_t absolute = out.Line;
      out.Line = absolute - out.FunctionLine;
      out.FunctionLine = absolute;
    }
  }
}

// The function that holds the current instruction; when that is a
// stand-in without code (execution went to a bad address), the next item's
// call that went there is the place instead.
void ReportInnermost(const TraceRequest& request, const TFunctionEntry& function, bool first,
                     bool& second) {
  if (second) {
    for (const FarCall& call : function.Info.far_calls) {
      if (call.target != request.current_address) continue;
      Store(request.function_entry_out, function.Info.entry_point);
      Store(request.code_address_out, call.code_addr);
    }
  } else if (first) {
    if (function.Info.code_len != 0) {
      Store(request.function_entry_out, function.Info.entry_point);
    } else {
      second = true;
    }
  }
}

}  // namespace

void FillFinalOutput(StackWalk& walk) {
  const TraceRequest& request = walk.request;
  bool first = true;
  bool second = false;
  for (int32_t i = walk.Count() - 1; i >= 0; --i) {
    TStackItem& item = walk.items[i];
    if (item.Invalid) continue;
    TStackItemInfo& out = item.Output;
    if (const TStackLink* link = ApprovedCaller(item)) {
      const TFunctionEntry& function = Tables().Functions[link->Function];
      out.Address = link->CodeAddr;
      out.FunctionName = function.Name;
      out.FunctionStart = function.Info.entry_point;
      ReportInnermost(request, function, first, second);
      Unmangle(out.FunctionName, out.UnitName);
    } else {
      out.Address = PrintedAddress(item);
    }
    out.ModuleName = item.Module < 0 ? "???" : Tables().Modules[item.Module].FileName;
    if (item.Module >= 0 && Tables().Modules[item.Module].DebugInfo) {
      AddDebugInfo(*Tables().Modules[item.Module].DebugInfo, request.show_relative_lines, out);
    }
    if (first) {
      Store(request.code_address_out, out.Address);
      first = false;
    } else {
      second = false;
    }
  }
}

}  // namespace qor
