#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crash/stack/stack_phases.h"
#include "crash/stack/stack_tables.h"
#include "crash/stack/stack_trace.h"
#include "crash/stack/testing/deep_stack_process.h"
#include "crash/stack/testing/stack_test_process.h"

namespace qor::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find("\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TEST(DeepStack, EveryCandidateOfAStackOf200000IsWalkedWithoutRecursion) {
  // Nothing but return addresses between the innermost item and the
  // outermost end: the chain search crosses all of them at once.
  constexpr uint32_t kDepth = 200000;
  ResetStackTraceTables();
  const DeepStackProcess process(kDepth);
  const std::vector<std::string> lines = Lines(
      TraceStack(process.Context(), false, false, false, process.Fault(), true, true,
                 process.StackBottom(), process.StackTop(), 0, nullptr, nullptr, nullptr, 0,
                 false, {}, false));
  ResetStackTraceTables();
  ASSERT_EQ(lines.size(), kDepth);
  EXPECT_EQ(lines.front(), "0070e3f3 deep.exe Deep 1999992 f199999");
  EXPECT_EQ(lines.back(), "00401003 deep.exe Deep       2 f0");
  for (uint32_t i = 0; i < kDepth; ++i) {
    const std::string name = " f" + std::to_string(kDepth - 1 - i);
    ASSERT_EQ(lines[i].substr(lines[i].size() - name.size()), name) << "line " << i;
  }
}

// The chain search as it was first written, recursing once per item of a
// chain: the reference that the work-list search must agree with, entry
// for entry. Items here have no module, so no line bonus applies.
int64_t ReferenceScore(std::vector<TStackItem>& items, int32_t from, int32_t target, bool strict) {
  constexpr int64_t kBit60 = int64_t{1} << 60, kBit61 = int64_t{1} << 61, kBit62 = int64_t{1} << 62;
  TStackLinkList& list = items[from].Links[target < from ? kCallers : kCallees];
  int64_t best = kBit60;
  for (size_t i = 0; i < list.Entries.size(); ++i) {
    TStackLink& entry = list.Entries[i];
    if (entry.Other < 0) continue;
    if (entry.Score == 0) {
      const bool has_function = entry.Function >= 0;
      int64_t score = entry.Other == target
                          ? (has_function ? kBit62 + kBit61 + kBit60 : kBit62 + kBit60)
                          : ReferenceScore(items, entry.Other, target, strict && has_function);
      int d = 0;
      if (!has_function) {
        score &= ~kBit61;
      } else {
        d = strict || (score & kBit61) ? 28 : 14;
        if (Tables().Functions[entry.Function].Approved) d += 14;
      }
      entry.Score = score + (int64_t{1} << d);
    }
    if (entry.Score > best) {
      best = entry.Score;
      list.Best = static_cast<int32_t>(i);
    }
  }
  return best;
}

void ReferenceRevalidate(std::vector<TStackItem>& items, int32_t from, int32_t target) {
  const int list = target < from ? kCallers : kCallees;
  while (from >= 0) {
    const TStackLinkList& links = items[from].Links[list];
    if (links.Best < 0) return;
    const int32_t other = links.Entries[links.Best].Other;
    if (other < 0 || other == target) return;
    items[other].Invalid = false;
    from = other;
  }
}

void ReferenceChoose(std::vector<TStackItem>& items, int32_t lower, int32_t upper) {
  if (upper - lower < 2) return;
  const int64_t down = lower < 0 ? 0 : ReferenceScore(items, lower, upper, true);
  const int64_t up = (down & (int64_t{1} << 62)) ? 0 : ReferenceScore(items, upper, lower, true);
  for (int32_t i = lower + 1; i < upper; ++i) items[i].Invalid = true;
  if (up < down) {
    ReferenceRevalidate(items, lower, upper);
  } else {
    ReferenceRevalidate(items, upper, lower);
  }
}

void ReferenceChains(std::vector<TStackItem>& items) {
  int32_t upper = static_cast<int32_t>(items.size()) - 1;
  for (int32_t i = upper - 1; i >= 0; --i) {
    if (!items[i].Sure) continue;
    ReferenceChoose(items, i, upper);
    upper = i;
  }
  ReferenceChoose(items, -1, upper);
}

// Items linked as the deep checks link them: each to some later items up
// to the next sure one, through an approved function, an unapproved one or
// none; some callers without an item.
std::vector<TStackItem> RandomItems(std::mt19937& random, int32_t count) {
  std::vector<TStackItem> items(static_cast<size_t>(count));
  for (TStackItem& item : items) item.Sure = random() % 6 == 0;
  items.back().Sure = true;
  for (int32_t i = 0; i < count; ++i) {
    if (random() % 4 == 0) items[i].Links[kCallers].Entries.push_back({-1, 1, false, 0, 0, 0});
    for (int32_t k = i + 1; k < count; ++k) {
      if (random() % 3 == 0) {
        const int32_t function = static_cast<int32_t>(random() % 3) - 1;
        items[k].Links[kCallers].Entries.push_back({i, 0, false, 0, function, 0});
        items[i].Links[kCallees].Entries.push_back({k, 0, false, 0, function, 0});
      }
      if (items[k].Sure) break;
    }
  }
  return items;
}

TEST(ChainSearch, WorkListAgreesWithTheRecursionEntryForEntry) {
  ResetStackTraceTables();
  Tables().Functions.resize(2);
  Tables().Functions[0].Approved = true;
  TestProcess process;
  const StackTraceContext context = process.Context();
  const TraceRequest request;
  std::mt19937 random(15);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    StackWalk walk{context, request, RandomItems(random, 2 + round % 40), {}, -1, {}};
    std::vector<TStackItem> expected = walk.items;
    ReferenceChains(expected);
    RealizeOptimalLinkChains(walk);
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(walk.items[i].Invalid, expected[i].Invalid) << "item " << i;
      for (int list = 0; list < 2; ++list) {
        const TStackLinkList& ours = walk.items[i].Links[list];
        const TStackLinkList& theirs = expected[i].Links[list];
        ASSERT_EQ(ours.Best, theirs.Best) << "item " << i << " list " << list;
        for (size_t e = 0; e < ours.Entries.size(); ++e) {
          ASSERT_EQ(ours.Entries[e].Score, theirs.Entries[e].Score) << "item " << i << " entry " << e;
        }
      }
    }
  }
  ResetStackTraceTables();
}

}  // namespace
}  // namespace qor::test
