#include "crash/modules/safe_read.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace qor {
namespace {

uint32_t Address(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Pages of our own, released on every path.
class Pages {
 public:
  Pages(DWORD allocation, DWORD protect, SIZE_T size = 0x2000)
      : memory_(VirtualAlloc(nullptr, size, allocation, protect)) {}
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;
  ~Pages() {
    if (memory_) VirtualFree(memory_, 0, MEM_RELEASE);
  }
  uint8_t* get() const { return static_cast<uint8_t*>(memory_); }

 private:
  void* memory_;
};

DWORD Protection(const void* address) {
  MEMORY_BASIC_INFORMATION info{};
  VirtualQuery(address, &info, sizeof info);
  return info.Protect;
}

TEST(SafeRead, RefusesUnreadableAddressesWithoutFaulting) {
  Pages reserved(MEM_RESERVE, PAGE_NOACCESS);
  Pages guard(MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD);
  Pages no_access(MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
  uint32_t freed;
  {
    Pages gone(MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    freed = Address(gone.get());
  }
  ASSERT_NE(reserved.get(), nullptr);
  ASSERT_NE(guard.get(), nullptr);
  TDATryRead snapshot = StartReadProbe();
  const struct {
    const char* what;
    uint32_t address;
  } cases[] = {
      {"null", 0},
      {"reserved", Address(reserved.get())},
      {"guard page", Address(guard.get())},
      {"no access", Address(no_access.get())},
      {"freed", freed},
      {"kernel space", 0x80001000},
  };
  for (const auto& c : cases) {
    uint8_t buffer[16];
    EXPECT_FALSE(SafeRead(c.address, buffer, sizeof buffer)) << c.what;
    EXPECT_FALSE(SafeRead(c.address, buffer, sizeof buffer, &snapshot)) << c.what << " (snapshot)";
  }
  // The guard must still be armed: a consumed guard would break a stack.
  EXPECT_EQ(Protection(guard.get()), DWORD{PAGE_READWRITE | PAGE_GUARD});
}

TEST(SafeRead, CopiesReadableMemory) {
  const char text[] = "readable bytes";
  char copy[sizeof text];
  std::memset(copy, 0xcc, sizeof copy);
  ASSERT_TRUE(SafeRead(Address(text), copy, sizeof copy));
  EXPECT_STREQ(copy, text);
  TDATryRead snapshot = StartReadProbe();
  std::memset(copy, 0xcc, sizeof copy);
  ASSERT_TRUE(SafeRead(Address(text), copy, sizeof copy, &snapshot));
  EXPECT_STREQ(copy, text);
}

TEST(SafeRead, FailsForARangeThatRunsIntoAnUnreadablePage) {
  Pages pages(MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages.get() + 0x1000, 0x1000, PAGE_NOACCESS, &old));
  uint8_t buffer[32];
  EXPECT_FALSE(SafeRead(Address(pages.get() + 0x1000 - 16), buffer, sizeof buffer));
  EXPECT_TRUE(SafeRead(Address(pages.get() + 0x1000 - 16), buffer, 16));
  // The reader returns the readable prefix.
  EXPECT_EQ(LiveMemory().Read(Address(pages.get() + 0x1000 - 16), buffer, sizeof buffer), 16u);
}

TEST(ReadProbe, SnapshotAgreesWithTheSystemQuery) {
  TDATryRead snapshot = StartReadProbe();
  ASSERT_FALSE(snapshot.empty());
  EXPECT_EQ(snapshot.front().begin, 0u);
  for (size_t i = 0; i + 1 < snapshot.size(); ++i) {
    EXPECT_EQ(snapshot[i].end, snapshot[i + 1].begin) << "no gaps";
    EXPECT_NE(snapshot[i].readable, snapshot[i + 1].readable) << "neighbours merged";
  }
  LiveMemory memory;
  for (const TryReadEntry& e : snapshot) {
    for (uint32_t address : {e.begin, e.end - 1, e.begin + (e.end - e.begin) / 2}) {
      MemoryRegion region;
      ASSERT_TRUE(memory.QueryRegion(address, region)) << std::hex << address;
      EXPECT_EQ(IsReadableRegion(region), e.readable) << std::hex << address;
    }
  }
  const int local = 0;
  EXPECT_TRUE(SnapshotAllowsRead(snapshot, Address(&local)));
  EXPECT_TRUE(SnapshotAllowsRead(snapshot, Address(reinterpret_cast<const void*>(&SafeRead))));
}

}  // namespace
}  // namespace qor
