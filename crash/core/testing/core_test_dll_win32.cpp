// A library that carries the core, for tests of what two modules of one
// process share.
#include <windows.h>

#include <cstring>
#include <string>

#include "crash/core/core_module.h"
#include "crash/core/import_hooks.h"
#include "crash/core/settings_win32.h"
#include "crash/core/thread_registry.h"

#define EXPORT extern "C" __declspec(dllexport)

EXPORT void CoreDllJoin() { qor::JoinThreadRegistry(); }
EXPORT void CoreDllLeave() { qor::LeaveThreadRegistry(); }
EXPORT uint32_t CoreDllMainThread() { return qor::MainThreadId(); }
EXPORT void* CoreDllBlock() { return qor::ThreadRegistryBlock(); }

EXPORT void CoreDllSetName(uint32_t thread, const char* name) {
  qor::SetThreadDisplayName(thread, name);
}

namespace {

void Copy(const std::string& from, char* text, uint32_t size) {
  const size_t length = from.size() < size ? from.size() : size - 1;
  std::memcpy(text, from.data(), length);
  text[length] = '\0';
}

}  // namespace

EXPORT void CoreDllCaption(uint32_t thread, char* text, uint32_t size) {
  Copy(qor::ThreadCaption(thread, true).Caption, text, size);
}

EXPORT void CoreDllAppName(int use, char* text, uint32_t size) {
  Copy(qor::AppNameFor(static_cast<qor::AppNameUse>(use)), text, size);
}

EXPORT uint32_t CoreDllTickCount() { return GetTickCount(); }

namespace {

uint32_t real_tick_count = 0;

uint32_t Address(unsigned long(__stdcall* routine)()) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(routine));
}

}  // namespace

EXPORT bool CoreDllHookTickCount(unsigned long(__stdcall* replacement)()) {
  return qor::HookImport("kernel32.dll", "GetTickCount", 0, Address(replacement),
                         real_tick_count);
}

EXPORT void CoreDllUnhookTickCount(unsigned long(__stdcall* replacement)()) {
  qor::UnhookImport(0, Address(replacement), real_tick_count);
}

EXPORT void* CoreDllCoreModule() {
  return reinterpret_cast<void*>(uintptr_t{qor::CoreModule()});
}
