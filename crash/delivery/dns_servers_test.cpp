#include "crash/delivery/dns_servers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qor {
namespace {

TEST(DnsServers, OnlyTheOldestReleasesUseTheRegistry) {
  const struct {
    uint32_t platform, major, minor;
    bool registry;
  } cases[] = {
      {1, 4, 0, true},   // Windows 95 and OSR-2
      {1, 4, 10, false}, // Windows 98
      {1, 4, 90, false}, // Windows ME
      {2, 3, 51, true},  {2, 4, 0, true},
      {2, 5, 0, false},  {2, 10, 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameServersInRegistry(c.platform, c.major, c.minor), c.registry)
        << c.platform << " " << c.major << "." << c.minor;
  }
}

TEST(DnsServers, RegistryTextIsSplitAtCommasElseBlanks) {
  EXPECT_EQ(SplitNameServerText("10.0.0.1 10.0.0.2"),
            (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(SplitNameServerText("10.0.0.1, 10.0.0.2,"),
            (std::vector<std::string>{"10.0.0.1", " 10.0.0.2", ""}));
  EXPECT_EQ(SplitNameServerText("10.0.0.1  10.0.0.2"),
            (std::vector<std::string>{"10.0.0.1", "", "10.0.0.2"}));
  EXPECT_TRUE(SplitNameServerText("").empty());
}

}  // namespace
}  // namespace qor
