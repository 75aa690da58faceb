// Phase 7: the text, one line per shown item, innermost first, columns
// aligned over all shown items.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "crash/stack/stack_phases.h"

namespace qor {
namespace {

struct Widths {
  size_t relative = 0;  // 0: no offset column
  size_t module = 0;
  size_t unit = 0;
  size_t function_line = 0;
  size_t line = 0;
};

std::string Hex(uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*x", digits, value);
  return text;
}

bool HasUsableStart(const TStackItemInfo& out) {
  return out.FunctionStart != 0 && out.FunctionStart < out.Address;
}

bool IsShown(const StackWalk& walk, int32_t index) {
  const TStackItem& item = walk.items[index];
  if (item.Invalid) return false;
  if (item.Top || (index == 0 && walk.request.creator_address != 0)) return true;
  return !item.Output.FunctionName.empty() &&
         (item.Output.Line > 0 || !walk.request.hide_useless_items);
}

bool RelativeLineShown(const StackWalk& walk, const TStackItemInfo& out) {
  return walk.request.show_relative_lines && out.FunctionLine > 0;
}

Widths ColumnWidths(const StackWalk& walk, const std::vector<int32_t>& shown) {
  Widths w;
  for (const int32_t index : shown) {
    const TStackItemInfo& out = walk.items[index].Output;
    if (walk.request.show_relative_addresses && HasUsableStart(out)) {
      w.relative = std::max(w.relative, Hex(out.Address - out.FunctionStart, 0).size() + 2);
    }
    w.module = std::max(w.module, out.ModuleName.size() + 1);
    w.unit = std::max(w.unit, out.UnitName.size() + 1);
    if (out.FunctionLine > 0) {
      w.function_line = std::max(w.function_line, std::to_string(out.FunctionLine).size() + 1);
    }
    if (out.FunctionLine > 0 || out.Line > 0) {
      const size_t plus = RelativeLineShown(walk, out) ? 1 : 0;
      w.line = std::max(w.line, std::to_string(out.Line).size() + 1 + plus);
    }
  }
  return w;
}

std::string PadRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// `text` right-aligned in width - 1 characters and a space; all spaces
// when there is nothing to show.
std::string NumberColumn(const std::string& text, bool show, size_t width) {
  if (width == 0) return {};
  if (!show) return std::string(width, ' ');
  const size_t field = width - 1;
  const std::string aligned =
      text.size() >= field ? text : std::string(field - text.size(), ' ') + text;
  return aligned + " ";
}

std::string Line(const StackWalk& walk, const TStackItemInfo& out, const Widths& w) {
  std::string line = Hex(out.Address, 8) + " ";
  if (w.relative > 0) {
    const uint32_t offset = HasUsableStart(out) ? out.Address - out.FunctionStart : 0;
    line += "+" + Hex(offset, static_cast<int>(w.relative - 2)) + " ";
  }
  line += PadRight(out.ModuleName, w.module);
  line += PadRight(out.UnitName, w.unit);
  line += NumberColumn(std::to_string(out.FunctionLine), out.FunctionLine > 0, w.function_line);
  const std::string number =
      (RelativeLineShown(walk, out) ? "+" : "") + std::to_string(out.Line);
  line += NumberColumn(number, out.FunctionLine > 0 || out.Line > 0, w.line);
  return line + out.FunctionName;
}

}  // namespace

void ComposeResult(StackWalk& walk) {
  std::vector<int32_t> shown;
  for (int32_t i = walk.Count() - 1; i >= 0; --i) {
    if (IsShown(walk, i)) shown.push_back(i);
  }
  const Widths widths = ColumnWidths(walk, shown);
  std::string text;
  bool printed = false;
  uint32_t previous = 0;
  for (const int32_t index : shown) {
    const TStackItem& item = walk.items[index];
    if (printed && !item.Top && item.Output.Address == previous) continue;
    text += "\r\n" + Line(walk, item.Output, widths);
    previous = item.Output.Address;
    printed = true;
  }
  walk.result = text.empty() ? text : text.substr(2);
}

}  // namespace qor
