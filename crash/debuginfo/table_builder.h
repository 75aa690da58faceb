// How the readers of foreign debug information (text map, JDBG, TD32) fill
// a TMapFile: one set of entry-creation rules for all of them, so that the
// lookups answer alike whatever the source.
#pragma once

#include <cstdint>
#include <string>

#include "crash/debuginfo/map_file.h"

namespace qor {

// Empties the three tables of `map` and its entry point, so that the next
// source starts clean after one failed.
void ClearTables(TMapFile& map);

class TableBuilder {
 public:
  // Fills `map`, which must outlive the builder. Starts without a current
  // segment of either kind.
  explicit TableBuilder(TMapFile& map) : map_(map) {}
  TableBuilder(const TableBuilder&) = delete;
  TableBuilder& operator=(const TableBuilder&) = delete;

  // Adds a segment of `kind` named `unit_name` (a ".pas" or ".dpr" ending
  // removed), `start` taken relative to the base of its kind with
  // `add_base`. With `merge`, a segment that continues the current one of
  // its kind under the same name (within 2 bytes) extends it instead. With
  // `sorted_insert` it goes to its place in the table order, else to the
  // end; either way it becomes the current segment of its kind. Data
  // segments are dropped in a code-only map.
  void AddSegment(SymbolKind kind, bool add_base, uint32_t start, bool merge, bool sorted_insert,
                  std::string unit_name, uint32_t length);

  // Adds a public at `address` (relative to the base of its kind). Compiler
  // helper symbols are dropped, mangled names unmangled and named after the
  // segment that holds them. With `create_segments`, the segment holding
  // the public becomes the current one; a public outside every segment
  // makes the current segment grow up to it (not into the next one) or,
  // when it belongs to another unit, starts a segment of its own. Needs
  // the segments sorted.
  void AddPublic(SymbolKind kind, std::string name, uint32_t address, bool create_segments);

  // Appends a line record (absolute address); with `ascending_only` a
  // record not above the last one's address is dropped.
  void AddLine(int32_t line, uint32_t address, bool ascending_only);

  // Sorts the segments into the table order.
  void SortSegments();
  // Over sorted segments: drops empty segments and those that share their
  // start with the next one, closes the gap between neighbours of a kind
  // (only where they touch or overlap when `overlapping_only`), and merges
  // neighbours of the same unit.
  void CleanUpSegments(bool overlapping_only);
  // Sorts the publics by address.
  void SortPublics();

  // `name` without the leading "Unit." of the code segment at `address`
  // (absolute), compared ignoring case.
  std::string WithoutUnitPrefix(const std::string& name, uint32_t address) const;

  // ClearTables, and no current segments.
  void Clear();

  bool Empty() const;

 private:
  uint32_t Base(SymbolKind kind) const;
  int32_t& Current(SymbolKind kind) { return current_[kind == SymbolKind::kCode ? 1 : 0]; }
  // Index of the segment of `kind` holding `address` in the sorted table, or -1.
  int32_t FindSegment(SymbolKind kind, uint32_t address) const;
  void InsertSorted(TMfSegment segment);
  void ExtendCurrentTo(SymbolKind kind, uint32_t address);
  void ForgetCurrent() { current_[0] = current_[1] = -1; }

  TMapFile& map_;
  int32_t current_[2] = {-1, -1};  // data, code
};

}  // namespace qor
