#include "crash/modules/msg_handlers.h"

#include <gtest/gtest.h>

#include "crash/modules/method_thunk.h"

namespace qor {
namespace {

std::vector<std::string> g_calls;

void ProcA(void*, uint32_t message, uintptr_t wparam, intptr_t& result, intptr_t lparam) {
  g_calls.push_back("A " + std::to_string(message) + " " + std::to_string(wparam) + " " +
                    std::to_string(lparam));
  result += 1;
}
void ProcB(void*, uint32_t, uintptr_t, intptr_t& result, intptr_t) {
  g_calls.push_back("B");
  result *= 10;
}
void Method(void* object, void*, uint32_t, intptr_t& result, intptr_t lparam, uintptr_t wparam) {
  g_calls.push_back(std::string(static_cast<const char*>(object)) + " " +
                    std::to_string(lparam) + " " + std::to_string(wparam));
  result = -result;
}

char g_object1[] = "obj1";
char g_object2[] = "obj2";

TEST(MsgHandlers, AllocatesFreeNumbersAndRefusesDuplicates) {
  TMsgHandlers list;
  EXPECT_EQ(AddMsgHandler(list, {0, ProcA}), 1024u);
  EXPECT_EQ(AddMsgHandler(list, {0, ProcA}), 1025u);
  EXPECT_EQ(AddMsgHandler(list, {1025, ProcA}), 0u) << "identical entry";
  EXPECT_EQ(AddMsgHandler(list, {1025, ProcB}), 1025u);
  EXPECT_EQ(AddMsgHandler(list, {1026, nullptr, Method, g_object1}), 1026u);
  EXPECT_EQ(AddMsgHandler(list, {1026, nullptr, Method, g_object2}), 1026u)
      << "same code, other object";
  EXPECT_EQ(AddMsgHandler(list, {0, ProcB}), 1027u);
  DeleteMsgHandlers(list, ProcA, nullptr, nullptr, 1024);
  EXPECT_EQ(AddMsgHandler(list, {0, ProcB}), 1024u) << "a freed number is reused";
  EXPECT_EQ(list.size(), 6u);
}

TEST(MsgHandlers, DeletesByMessageOrAll) {
  TMsgHandlers list;
  AddMsgHandler(list, {0x1a, ProcA});
  AddMsgHandler(list, {0x1a, ProcB});
  AddMsgHandler(list, {0x7e, ProcA});
  AddMsgHandler(list, {0x7e, nullptr, Method, g_object1});
  AddMsgHandler(list, {0x400, ProcA});
  DeleteMsgHandlers(list, ProcA, nullptr, nullptr, 0x7e);
  EXPECT_EQ(list.size(), 4u);
  DeleteMsgHandlers(list, nullptr, Method, g_object2, 0);
  EXPECT_EQ(list.size(), 4u) << "other object";
  DeleteMsgHandlers(list, ProcA, nullptr, nullptr, 0);
  ASSERT_EQ(list.size(), 2u);
  for (const MsgHandler& e : list) EXPECT_NE(e.handler, ProcA);
  DeleteMsgHandlers(list, nullptr, Method, g_object1, 0);
  DeleteMsgHandlers(list, ProcB, nullptr, nullptr, 0);
  EXPECT_TRUE(list.empty());
}

TEST(MsgHandlers, CallsEveryEntryOfTheMessageInOrder) {
  TMsgHandlers list;
  AddMsgHandler(list, {0x400, ProcA});
  AddMsgHandler(list, {0x401, ProcB});
  AddMsgHandler(list, {0x400, ProcB});
  AddMsgHandler(list, {0x400, nullptr, Method, g_object1});
  AddMsgHandler(list, {0x400, nullptr, nullptr, nullptr});  // no target: skipped
  g_calls.clear();
  intptr_t result = 4;
  CallMsgHandlers(list, nullptr, 0x400, 7, 9, result);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"A 1024 7 9", "B", "obj1 9 7"}));
  EXPECT_EQ(result, -50);
}

TEST(MethodThunk, PushesTheObjectAndJumpsThroughItsOwnSlot) {
  auto bytes = MethodThunkBytes(0x00401000, 0x11223344, 0xaabbccdd);
  const std::array<uint8_t, kMethodThunkSize> expected = {
      0x58, 0x68, 0x44, 0x33, 0x22, 0x11, 0x50, 0xff, 0x25,
      0x0d, 0x10, 0x40, 0x00, 0xdd, 0xcc, 0xbb, 0xaa};
  EXPECT_EQ(bytes, expected);
}

}  // namespace
}  // namespace qor
