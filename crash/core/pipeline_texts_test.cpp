// The texts and records of the request handling that need no system.
#include <gtest/gtest.h>

#include "crash/attach/qor_exception.h"
#include "crash/core/class_chain.h"
#include "crash/core/except_request.h"
#include "crash/core/os_exception_text.h"
#include "runtime/exceptions.h"

namespace qor {
namespace {

TEST(OsExceptionText, NamesTheKnownCodesAndWritesOthersInHex) {
  EXPECT_EQ(OsExceptionText(0xC0000094), "Division by zero");
  EXPECT_EQ(OsExceptionText(0xC00000FD), "Stack overflow");
  EXPECT_EQ(OsExceptionText(0xC0000093), "Floating point underflow");
  EXPECT_EQ(OsExceptionText(0xC0000092), "Invalid floating point operation");
  EXPECT_EQ(OsExceptionText(0xC000013A), "Control-C hit");
  EXPECT_EQ(OsExceptionText(0xE06D7363), "External exception E06D7363");
  EXPECT_EQ(OsExceptionText(0x1), "External exception 1");
}

TEST(AccessViolationMessage, NamesModuleAccessAndBothAddresses) {
  EXPECT_EQ(AccessViolationMessage(0x401a2b, "Uninstall.exe", true, 0x10),
            "Access violation at address 00401A2B in module 'Uninstall.exe'. Write of address "
            "00000010");
  EXPECT_EQ(AccessViolationMessage(0x401a2b, "x.dll", false, 0xFFFFFFFF),
            "Access violation at address 00401A2B in module 'x.dll'. Read of address FFFFFFFF");
  EXPECT_EQ(AccessViolationMessage(0x1234, "", true, 0), "Access Violation");
}

TEST(ExceptTimes, ShiftDropsTheOldestAndStoresTheNewestFirst) {
  TExceptTimes times = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
  ShiftExceptTimes(times, 11);
  EXPECT_EQ(times, (TExceptTimes{11, 10, 9, 8, 7, 6, 5, 4, 3, 2}));
}

struct Local : runtime::EAbort {
  using runtime::EAbort::EAbort;
};
struct Mixin {
  virtual ~Mixin() = default;
};
struct Both : Mixin, runtime::Exception {
  Both() : runtime::Exception("both") {}
};
struct NotAnException {
  virtual ~NotAnException() = default;
};

TEST(ClassChain, WalksSingleAndMultipleBases) {
  const Local local("x");
  const std::type_info& type = DynamicClass(&local);
  EXPECT_EQ(&type, &typeid(Local));
  EXPECT_TRUE(ClassChainHas(type, "runtime.EAbort"));
  EXPECT_TRUE(ClassChainHas(type, "std.exception"));
  EXPECT_FALSE(ClassChainHas(type, "runtime.eabort")) << "names compare case-sensitively";
  const Both both;
  EXPECT_TRUE(ClassChainHas(DynamicClass(&both), "qor.(anonymous namespace).Mixin"));
  EXPECT_TRUE(ClassChainHas(DynamicClass(&both), "runtime.Exception"));
}

TEST(ClassChain, MessageOfOwnProgramAndOtherObjects) {
  QorException own("own text");
  runtime::EOSError program("program text", 5);
  std::runtime_error standard("standard text");
  NotAnException other;
  Both both;  // the Exception part does not start the object
  EXPECT_EQ(ObjectMessageOrClass(&own), "own text");
  EXPECT_EQ(ObjectMessageOrClass(&program), "program text");
  EXPECT_EQ(ObjectMessageOrClass(&standard), "standard text");
  EXPECT_EQ(ObjectMessageOrClass(&other), "qor.(anonymous namespace).NotAnException");
  EXPECT_EQ(ObjectMessageOrClass(&both), "both");

  EXPECT_TRUE(ReplaceObjectMessage(&both, ReportedMarker));
  EXPECT_EQ(ObjectMessageOrClass(&both), ReportedMarker);
  EXPECT_TRUE(ReplaceObjectMessage(&own, ReportedMarker));
  EXPECT_EQ(own.Message, ReportedMarker);
  EXPECT_FALSE(ReplaceObjectMessage(&standard, ReportedMarker));
}

}  // namespace
}  // namespace qor
