// The exception objects the core is handed, and the loader-lock test.
#include "crash/core/except_object.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "crash/attach/qor_exception.h"
#include "crash/core/loader_lock.h"
#include "crash/core/report_exception.h"
#include "crash/core/win_handle.h"
#include "runtime/exceptions.h"
#include "runtime/raise.h"

namespace qor {
namespace {

uint32_t At(const void* pointer) {
  return ObjectAddress(pointer);
}

struct Shape {
  virtual ~Shape() = default;
};

TEST(IsPlausibleObject, AcceptsLiveObjectsOfEveryClass) {
  const runtime::EOSError program("text", 5);
  const QorException own("text");
  const std::runtime_error standard("text");
  const Shape shape;
  EXPECT_TRUE(IsPlausibleObject(At(&program)));
  EXPECT_TRUE(IsPlausibleObject(At(&own)));
  EXPECT_TRUE(IsPlausibleObject(At(&standard)));
  EXPECT_TRUE(IsPlausibleObject(At(&shape)));
}

TEST(IsPlausibleObject, RejectsWhatIsNoObjectWithoutFaulting) {
  const int number = 42;
  const char* text = "not an object";
  // An object whose virtual-table pointer leads into data that is no table.
  const void* fake[2] = {text + 4, nullptr};
  EXPECT_FALSE(IsPlausibleObject(0));
  EXPECT_FALSE(IsPlausibleObject(4));
  EXPECT_FALSE(IsPlausibleObject(At(&number)));
  EXPECT_FALSE(IsPlausibleObject(At(&text)));
  EXPECT_FALSE(IsPlausibleObject(At(fake)));
  EXPECT_FALSE(IsPlausibleObject(At(reinterpret_cast<const void*>(&IsPlausibleObject))));

  void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(page, nullptr);
  new (page) runtime::Exception("gone");
  const uint32_t freed = At(page);
  EXPECT_TRUE(IsPlausibleObject(freed));
  VirtualFree(page, 0, MEM_RELEASE);
  EXPECT_FALSE(IsPlausibleObject(freed));
  EXPECT_EQ(ExceptClassText(freed), "Unknown");
  EXPECT_EQ(ExceptMessageText(freed), "Unknown");
  EXPECT_FALSE(IsClassOrDescendant(freed, "runtime.Exception"));
}

TEST(ExceptTexts, ClassMessageAndAncestors) {
  const runtime::EOSError program("line one\r\nline\ttwo", 5);
  const runtime::Exception empty("\x01\x02");
  const Shape shape;
  EXPECT_EQ(ExceptClassText(At(&program)), "runtime.EOSError");
  EXPECT_EQ(ExceptMessageText(At(&program)), "line onelinetwo");
  EXPECT_EQ(ExceptMessageText(At(&empty)), "Unknown");
  EXPECT_EQ(ExceptMessageText(At(&shape)), "qor.(anonymous namespace).Shape");
  EXPECT_EQ(ExceptClassText(0), "Unknown");
  EXPECT_EQ(ExceptMessageText(0), "Unknown");
  EXPECT_TRUE(IsClassOrDescendant(At(&program), "runtime.Exception"));
  EXPECT_TRUE(IsClassOrDescendant(At(&program), kExceptionClass));
  EXPECT_FALSE(IsClassOrDescendant(At(&program), kAbortClass));
  EXPECT_FALSE(IsClassOrDescendant(At(&shape), kExceptionClass));
}

TEST(AccessViolationText, NamesTheModuleOrSaysJustAccessViolation) {
  EXCEPTION_RECORD record{};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  record.ExceptionAddress = reinterpret_cast<void*>(&IsPlausibleObject);
  record.NumberParameters = 2;
  record.ExceptionInformation[0] = 0;
  record.ExceptionInformation[1] = 0x1c;
  const std::string text = AccessViolationText(record);
  EXPECT_EQ(text.rfind("Access violation at address ", 0), 0u) << text;
  EXPECT_NE(text.find(" in module 'qor_core_objects_win32_test.exe'. Read of address 0000001C"),
            std::string::npos)
      << text;
  record.ExceptionAddress = reinterpret_cast<void*>(0x10);
  EXPECT_EQ(AccessViolationText(record), "Access Violation");
}

TEST(ResolveExceptParams, TakesTheCaughtObjectAndItsThrowAddress) {
  try {
    throw runtime::EOSError("caught", 5);
  } catch (const runtime::EOSError& caught) {
    uint32_t object = 0;
    uint32_t address = 0;
    ResolveExceptParams(object, address);
    EXPECT_EQ(object, At(&caught));
    EXPECT_EQ(address, runtime::LastRaise().address);
    EXPECT_NE(address, 0u);
  }
  try {
    throw 42;
  } catch (int) {
    uint32_t object = 0;
    uint32_t address = 0;
    ResolveExceptParams(object, address);
    EXPECT_EQ(object, 0u) << "a thrown number is no object";
  }
  uint32_t object = 12;
  uint32_t address = 0;
  ResolveExceptParams(object, address);
  EXPECT_EQ(object, 0u);
}

DWORD WINAPI LoadTestLibrary(void*) {
  return LoadLibraryA("qor_loader_lock_test_dll.dll") != nullptr;
}

// Only the thread that owns the loader lock counts as holding it: another
// thread may hold it meanwhile.
TEST(LoaderLock, OnlyTheOwningThreadHoldsIt) {
  EXPECT_FALSE(CurrentThreadOwnsLoaderLock());
  const OwnedHandle entered(CreateEventA(nullptr, TRUE, FALSE, "qorLoaderLockTestEntered"));
  const OwnedHandle leave(CreateEventA(nullptr, TRUE, FALSE, "qorLoaderLockTestLeave"));
  const OwnedHandle loader(CreateThread(nullptr, 0, LoadTestLibrary, nullptr, 0, nullptr));
  ASSERT_EQ(WaitForSingleObject(entered.get(), 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(CurrentThreadOwnsLoaderLock()) << "the loading thread holds it, not this one";
  SetEvent(leave.get());
  WaitForSingleObject(loader.get(), INFINITE);
  const HMODULE library = GetModuleHandleA("qor_loader_lock_test_dll.dll");
  ASSERT_NE(library, nullptr);
  const auto owned =
      reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(library, "OwnedAtStart")));
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(owned(), 1) << "a library's start-up runs under the loader lock";
  FreeLibrary(library);
}

}  // namespace
}  // namespace qor
