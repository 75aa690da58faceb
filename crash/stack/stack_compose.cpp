// Phase 7: the text, one line per shown item, innermost first, columns
// aligned over all shown items.
#include <algorithm>
#include <cstdio>
#include <iterator>
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
    for (const InlineFrame& frame : out.Inlined) {
      w.unit = std::max(w.unit, frame.unit.size() + 1);
      if (frame.line > 0) w.line = std::max(w.line, std::to_string(frame.line).size() + 1);
    }
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

// Address, offset and module, as every line of an item starts.
std::string Lead(const TStackItemInfo& out, const Widths& w) {
  std::string line = Hex(out.Address, 8) + " ";
  if (w.relative > 0) {
    const uint32_t offset = HasUsableStart(out) ? out.Address - out.FunctionStart : 0;
    line += "+" + Hex(offset, static_cast<int>(w.relative - 2)) + " ";
  }
  return line + PadRight(out.ModuleName, w.module);
}

// An inlined function at the item's address: where it stands in its own
// source, marked as inlined.
std::string InlinedLine(const TStackItemInfo& out, const InlineFrame& frame, const Widths& w) {
  std::string line = Lead(out, w) + PadRight(frame.unit, w.unit);
  line += NumberColumn({}, false, w.function_line);
  line += NumberColumn(std::to_string(frame.line), frame.line > 0, w.line);
  return line + frame.function + " [inlined]";
}

std::string Line(const StackWalk& walk, const TStackItemInfo& out, const Widths& w) {
  std::string line = Lead(out, w);
  line += PadRight(out.UnitName, w.unit);
  line += NumberColumn(std::to_string(out.FunctionLine), out.FunctionLine > 0, w.function_line);
  const std::string number =
      (RelativeLineShown(walk, out) ? "+" : "") + std::to_string(out.Line);
  line += NumberColumn(number, out.FunctionLine > 0 || out.Line > 0, w.line);
  return line + out.FunctionName;
}

}  // namespace

// The stretches of folded recursions, overlapping ones merged, ascending.
std::vector<FoldedRecursion> MergedFoldings(std::vector<FoldedRecursion> folded) {
  std::sort(folded.begin(), folded.end(),
            [](const FoldedRecursion& a, const FoldedRecursion& b) { return a.low < b.low; });
  std::vector<FoldedRecursion> merged;
  for (const FoldedRecursion& f : folded) {
    if (!merged.empty() && f.low <= merged.back().high) {
      merged.back().high = std::max(merged.back().high, f.high);
      merged.back().removed += f.removed;
      merged.back().kept.insert(merged.back().kept.end(), f.kept.begin(), f.kept.end());
    } else {
      merged.push_back(f);
    }
  }
  for (FoldedRecursion& f : merged) std::sort(f.kept.begin(), f.kept.end());
  return merged;
}

// Whether the printed lines of a fold's remaining copy call into themselves
// as a recursion does: the line printed right inside them (the innermost
// frame of the recursion, which the fold kept) stands in the function that
// holds their outermost call. Stale return addresses repeated beside a real
// one fold as well, but what they lead to is another function.
bool CallsBackIntoItself(const StackWalk& walk, const std::vector<int32_t>& kept_lines,
                         const std::vector<int32_t>& printed) {
  const auto [outermost, innermost] = std::minmax_element(kept_lines.begin(), kept_lines.end());
  int32_t inside = -1;
  for (const int32_t index : printed) {
    if (index > *innermost) inside = index;
  }
  if (inside < 0) return false;
  const uint32_t callee = walk.items[inside].Output.FunctionStart;
  return callee != 0 && callee == walk.items[*outermost].Output.FunctionStart;
}

// After the lines, one line per folded recursion whose remaining copy
// printed lines, so that a runaway recursion shows its depth: its frames
// before folding (those folded away and those printed) and the lines
// printed. A recursion among stale return addresses that the chains left
// out prints nothing, and a single frame folded away is as often a stale
// copy beside the real one as a recursion: neither is worth a line.
std::string RecursionLines(const StackWalk& walk, const std::vector<int32_t>& printed) {
  std::string text;
  for (const FoldedRecursion& f : MergedFoldings(walk.folded)) {
    std::vector<int32_t> kept_lines;
    std::copy_if(printed.begin(), printed.end(), std::back_inserter(kept_lines), [&f](int32_t i) {
      return std::binary_search(f.kept.begin(), f.kept.end(), i);
    });
    if (kept_lines.empty() || f.removed < 2) continue;
    if (!CallsBackIntoItself(walk, kept_lines, printed)) continue;
    text += "\r\n>> recursion: " + std::to_string(f.removed + kept_lines.size()) +
            " frames shown as " + std::to_string(kept_lines.size());
  }
  return text;
}

void ComposeResult(StackWalk& walk) {
  std::vector<int32_t> shown;
  for (int32_t i = walk.Count() - 1; i >= 0; --i) {
    if (IsShown(walk, i)) shown.push_back(i);
  }
  const Widths widths = ColumnWidths(walk, shown);
  std::string text;
  std::vector<int32_t> printed;
  uint32_t previous = 0;
  for (const int32_t index : shown) {
    const TStackItem& item = walk.items[index];
    if (!printed.empty() && !item.Top && item.Output.Address == previous) continue;
    for (const InlineFrame& frame : item.Output.Inlined) {
      text += "\r\n" + InlinedLine(item.Output, frame, widths);
    }
    text += "\r\n" + Line(walk, item.Output, widths);
    previous = item.Output.Address;
    printed.push_back(index);
  }
  if (!printed.empty()) text += RecursionLines(walk, printed);
  walk.result = text.empty() ? text : text.substr(2);
}

}  // namespace qor
