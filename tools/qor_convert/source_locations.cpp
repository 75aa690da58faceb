#include "tools/qor_convert/source_locations.h"

#include <algorithm>

namespace qor::convert {
namespace {

// A stretch of one line-table row, before inlined calls are looked at.
struct Stretch {
  uint32_t begin, end;
  const std::string* file;
  uint32_t line;
};

// The rows of a sequence as stretches; of several rows at one address the
// last one counts, as the tool chain's readers take it.
void AddSequence(const LineProgram& program, const LineSequence& sequence,
                 std::vector<Stretch>& out) {
  const auto& rows = sequence.rows;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i + 1 < rows.size() && rows[i + 1].address == rows[i].address) continue;
    uint32_t end = sequence.end;
    for (size_t k = i + 1; k < rows.size(); ++k) {
      if (rows[k].address > rows[i].address) {
        end = rows[k].address;
        break;
      }
    }
    if (end > rows[i].address) {
      out.push_back({rows[i].address, end, &program.FileName(rows[i].file), rows[i].line});
    }
  }
}

// Sorted, with overlaps (code claimed twice) given to the earlier stretch.
std::vector<Stretch> AllStretches(const std::vector<LineProgram>& programs, const KeepCode& keep) {
  std::vector<Stretch> all;
  for (const LineProgram& program : programs) {
    for (const LineSequence& sequence : program.sequences) {
      if (!sequence.rows.empty() && keep(sequence.rows.front().address, sequence.end)) {
        AddSequence(program, sequence, all);
      }
    }
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const Stretch& a, const Stretch& b) { return a.begin < b.begin; });
  std::vector<Stretch> kept;
  for (Stretch s : all) {
    if (!kept.empty() && s.begin < kept.back().end) s.begin = kept.back().end;
    if (s.begin < s.end) kept.push_back(s);
  }
  return kept;
}

// Every stretch cut where a range of an inlined call begins or ends.
std::vector<Stretch> SplitAtCalls(const std::vector<Stretch>& stretches,
                                  const std::vector<InlinedCall>& calls) {
  std::vector<uint32_t> cuts;
  for (const InlinedCall& call : calls) {
    for (const PcRange& r : call.ranges) {
      cuts.push_back(r.begin);
      cuts.push_back(r.end);
    }
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  std::vector<Stretch> out;
  for (const Stretch& s : stretches) {
    uint32_t begin = s.begin;
    for (auto it = std::upper_bound(cuts.begin(), cuts.end(), s.begin);
         it != cuts.end() && *it < s.end; ++it) {
      out.push_back({begin, *it, s.file, s.line});
      begin = *it;
    }
    out.push_back({begin, s.end, s.file, s.line});
  }
  return out;
}

struct Holder {
  int32_t call = -1;
  uint32_t piece = 0;  // size of the call's range that holds the stretch
};

// The innermost inlined call that holds each stretch: the deepest, and of
// equally deep ones the one with the smallest range there.
std::vector<Holder> Holders(const std::vector<Stretch>& stretches,
                            const std::vector<InlinedCall>& calls) {
  std::vector<Holder> holders(stretches.size());
  for (size_t c = 0; c < calls.size(); ++c) {
    for (const PcRange& r : calls[c].ranges) {
      auto it = std::lower_bound(stretches.begin(), stretches.end(), r.begin,
                                 [](const Stretch& s, uint32_t at) { return s.begin < at; });
      for (; it != stretches.end() && it->begin < r.end; ++it) {
        Holder& h = holders[static_cast<size_t>(it - stretches.begin())];
        const uint32_t piece = r.end - r.begin;
        const int32_t depth = h.call < 0 ? 0 : calls[static_cast<size_t>(h.call)].depth;
        if (calls[c].depth > depth || (calls[c].depth == depth && piece < h.piece)) {
          h = {static_cast<int32_t>(c), piece};
        }
      }
    }
  }
  return holders;
}

LocatedRange Locate(const Stretch& s, int32_t call, const std::vector<InlinedCall>& calls) {
  LocatedRange range{s.begin, s.end, *s.file, s.line, {}};
  // Inside inlined code the row is where the innermost function stands;
  // each call further out is where its caller stands.
  for (int32_t c = call; c >= 0; c = calls[static_cast<size_t>(c)].parent) {
    const InlinedCall& inlined = calls[static_cast<size_t>(c)];
    range.inlined.push_back({inlined.function, range.file, range.line});
    range.file = inlined.call_file;
    range.line = inlined.call_line;
  }
  return range;
}

}  // namespace

std::vector<LocatedRange> LocateCode(const std::vector<LineProgram>& programs,
                                     const std::vector<InlinedCall>& calls, const KeepCode& keep) {
  const std::vector<Stretch> stretches = SplitAtCalls(AllStretches(programs, keep), calls);
  const std::vector<Holder> holders = Holders(stretches, calls);
  std::vector<LocatedRange> located;
  located.reserve(stretches.size());
  for (size_t i = 0; i < stretches.size(); ++i) {
    located.push_back(Locate(stretches[i], holders[i].call, calls));
  }
  return located;
}

}  // namespace qor::convert
