// A library that carries the core, for tests of what two modules of one
// process share.
#include <windows.h>

#include <cstring>
#include <string>

#include "crash/core/thread_registry.h"

#define EXPORT extern "C" __declspec(dllexport)

EXPORT void CoreDllJoin() { qor::JoinThreadRegistry(); }
EXPORT void CoreDllLeave() { qor::LeaveThreadRegistry(); }
EXPORT uint32_t CoreDllMainThread() { return qor::MainThreadId(); }
EXPORT void* CoreDllBlock() { return qor::ThreadRegistryBlock(); }

EXPORT void CoreDllSetName(uint32_t thread, const char* name) {
  qor::SetThreadDisplayName(thread, name);
}

EXPORT void CoreDllCaption(uint32_t thread, char* text, uint32_t size) {
  const std::string caption = qor::ThreadCaption(thread, true).Caption;
  const size_t length = caption.size() < size ? caption.size() : size - 1;
  std::memcpy(text, caption.data(), length);
  text[length] = '\0';
}

EXPORT uint32_t CoreDllTickCount() { return GetTickCount(); }
