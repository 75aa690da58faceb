#include "engine/instrument_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

#include "engine/fake_device_platform.h"

namespace engine {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> RemovalIds(const InstrumentEntry& entry) {
  std::vector<std::string> ids;
  for (const RemovalGroup& group : entry.groups) ids.insert(ids.end(), group.ids.begin(), group.ids.end());
  return ids;
}

TEST(InstrumentTable, RowsFollowTheKindOrder) {
  const auto table = InstrumentTable();
  ASSERT_EQ(table.size(), 8u);
  const InstrumentKind order[] = {InstrumentKind::K3, InstrumentKind::D805, InstrumentKind::Q4Diff,
                                  InstrumentKind::Q4, InstrumentKind::Q3,   InstrumentKind::Q2,
                                  InstrumentKind::K2, InstrumentKind::D801};
  for (size_t row = 0; row < table.size(); ++row) {
    EXPECT_EQ(table[row].kind, order[row]);
    EXPECT_EQ(&InstrumentEntryFor(order[row]), &table[row]);
  }
}

TEST(InstrumentTable, IdsAreSeventeenDistinctVarnelUsbIds) {
  std::set<std::string> ids;
  for (const InstrumentEntry& entry : InstrumentTable()) {
    for (const std::string& id : RemovalIds(entry)) {
      const std::string upper = Upper(id);
      EXPECT_EQ(upper.rfind("USB\\VID_7A5C&PID_", 0), 0u) << id;
      EXPECT_EQ(upper.size(), 21u) << id;
      ids.insert(upper);
    }
  }
  EXPECT_EQ(ids.size(), 17u);
}

TEST(InstrumentTable, ProbeIdIsOneOfTheKindsOwnIds) {
  // The adapter group is shared, so its ids must never decide a kind.
  for (const InstrumentEntry& entry : InstrumentTable()) {
    ASSERT_FALSE(entry.groups.empty());
    const auto& own = entry.groups[0].ids;
    EXPECT_NE(std::find_if(own.begin(), own.end(),
                           [&](const char* id) { return std::string(id) == entry.probe_id; }),
              own.end())
        << entry.caption;
  }
}

TEST(InstrumentTable, UsbAdapterGroupFollowsTheKindsThatNeedIt) {
  const InstrumentEntry& q2 = InstrumentEntryFor(InstrumentKind::Q2);
  ASSERT_EQ(q2.groups.size(), 2u);
  const RemovalGroup& adapter = q2.groups[1];
  EXPECT_THAT(std::vector<std::string>(adapter.ids.begin(), adapter.ids.end()),
              ::testing::ElementsAre("USB\\VID_7A5C&PID_00fd", "USB\\VID_7A5C&PID_00fe"));
  for (InstrumentKind kind : {InstrumentKind::K2, InstrumentKind::D801}) {
    const InstrumentEntry& entry = InstrumentEntryFor(kind);
    ASSERT_EQ(entry.groups.size(), 2u) << entry.caption;
    EXPECT_EQ(entry.groups[1].ids.data(), adapter.ids.data()) << entry.caption;
    EXPECT_NE(std::string(entry.caption).find("+ USB adapter"), std::string::npos);
  }
  for (InstrumentKind kind : {InstrumentKind::K3, InstrumentKind::D805, InstrumentKind::Q4Diff,
                              InstrumentKind::Q4, InstrumentKind::Q3}) {
    EXPECT_EQ(InstrumentEntryFor(kind).groups.size(), 1u);
  }
}

TEST(InstrumentTable, Q4AndQ4DiffShareTheirInterfaceClass) {
  const Guid& q4 = InstrumentEntryFor(InstrumentKind::Q4).groups[0].interface_class;
  const Guid& q4_diff = InstrumentEntryFor(InstrumentKind::Q4Diff).groups[0].interface_class;
  EXPECT_EQ(std::memcmp(&q4, &q4_diff, sizeof(Guid)), 0);
  EXPECT_EQ(q4.Data1, 0x9B739684u);
}

}  // namespace
}  // namespace engine
