// The entries of the test library that carries its own copy of the core:
// what the library's core sees, asked from a test program.
#pragma once

#include <cstdint>

#define CORE_TEST_DLL extern "C" __declspec(dllimport)

CORE_TEST_DLL void CoreDllJoin();
CORE_TEST_DLL void CoreDllLeave();
CORE_TEST_DLL uint32_t CoreDllMainThread();
CORE_TEST_DLL void* CoreDllBlock();
CORE_TEST_DLL void CoreDllSetName(uint32_t thread, const char* name);
// Writes the caption (forced) to `text`, cut to `size` - 1 characters.
CORE_TEST_DLL void CoreDllCaption(uint32_t thread, char* text, uint32_t size);
// GetTickCount, called through the library's own import table.
CORE_TEST_DLL uint32_t CoreDllTickCount();
// The library's core hooks GetTickCount with `replacement` and unhooks it.
CORE_TEST_DLL bool CoreDllHookTickCount(unsigned long(__stdcall* replacement)());
CORE_TEST_DLL void CoreDllUnhookTickCount(unsigned long(__stdcall* replacement)());
CORE_TEST_DLL void* CoreDllCoreModule();
// What "%appname%" stands for in the library, for use number `use`.
CORE_TEST_DLL void CoreDllAppName(int use, char* text, uint32_t size);
