// crash_dump_child.exe access|cxx none|small|data DUMP
// Fails five calls deep (and one inlined call), by an access violation or
// by a C++ exception that nothing catches, and writes a minidump from its
// handler on a second thread, as the crash reporter's handling thread does. Prints the result,
// the dump's size and the time it took: "result=0 bytes=5090 ms=31".
// The lines marked "frame:" are what the test expects the processor to show.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "crash/modules/minidump_writer.h"

namespace {

qor::MinidumpSize g_size = qor::MinidumpSize::kSmall;
const char* g_path = nullptr;
volatile int* g_nowhere = nullptr;
volatile int g_depth = 0;
bool g_throw = false;

struct DumpJob {
  DWORD thread_id;
  EXCEPTION_POINTERS* pointers;
  qor::MinidumpResult result;
};

DWORD WINAPI WriteDump(void* parameter) {
  auto* job = static_cast<DumpJob*>(parameter);
  job->result = qor::WriteMinidump(g_path, job->thread_id, job->pointers, g_size);
  return 0;
}

[[noreturn]] void DumpAndExit(EXCEPTION_POINTERS* pointers) {
  DumpJob job{GetCurrentThreadId(), pointers, qor::MinidumpResult::kFailed};
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceCounter(&start);
  HANDLE writer = CreateThread(nullptr, 0, WriteDump, &job, 0, nullptr);
  if (writer) {
    WaitForSingleObject(writer, INFINITE);
    CloseHandle(writer);
  }
  QueryPerformanceCounter(&end);
  QueryPerformanceFrequency(&frequency);
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  const bool exists = GetFileAttributesExA(g_path, GetFileExInfoStandard, &data);
  std::printf("result=%d bytes=%lu ms=%lld\n", static_cast<int>(job.result),
              exists ? data.nFileSizeLow : 0ul, (end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
  std::fflush(stdout);
  ExitProcess(3);
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* pointers) { DumpAndExit(pointers); }

// The context of the terminate handler: the stack below it still holds the
// throw, since nothing unwound it when no handler was found.
[[noreturn]] void OnTerminate() {
  CONTEXT context = {};
  context.ContextFlags = CONTEXT_FULL;
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = 0xE0474343;  // a C++ exception nothing caught
  record.ExceptionAddress = reinterpret_cast<void*>(context.Eip);
  EXCEPTION_POINTERS pointers = {&record, &context};
  DumpAndExit(&pointers);
}

}  // namespace

// Outside the anonymous namespace, so their names are plain in the report.
// Not known to the caller as never returning, so the call to it is not the
// last instruction of Level5 (a return address past a function's end is
// looked up in the next function).
__attribute__((noinline, noipa)) void Throw() { throw std::runtime_error("no handler"); }

// One line: the processor looks callers up at their return address, which
// here starts the next statement.
__attribute__((noinline)) void Level5() {
  if (g_throw) { Throw(); } *g_nowhere = 1;  // frame: Level5
  g_depth = g_depth + 1;
}
// Each level does something after its call, so no call becomes a jump.
__attribute__((noinline)) void Level4() { Level5(); g_depth = g_depth + 1; }  // frame: Level4
// Inlined into Level3: the processor shows it as a frame of its own at its
// call of Level4, and Level3 at its call of Step.
__attribute__((always_inline)) inline void Step() { Level4(); g_depth = g_depth + 1; }  // frame: Step
__attribute__((noinline)) void Level3() { Step(); g_depth = g_depth + 1; }  // frame: Level3
__attribute__((noinline)) void Level2() { Level3(); g_depth = g_depth + 1; }  // frame: Level2
__attribute__((noinline)) void Level1() { Level2(); g_depth = g_depth + 1; }  // frame: Level1


int main(int argc, char** argv) {
  if (argc != 4) return 2;
  g_throw = std::strcmp(argv[1], "cxx") == 0;
  g_size = std::strcmp(argv[2], "none") == 0   ? qor::MinidumpSize::kNone
           : std::strcmp(argv[2], "data") == 0 ? qor::MinidumpSize::kWithData
                                               : qor::MinidumpSize::kSmall;
  g_path = argv[3];
  SetUnhandledExceptionFilter(UnhandledFilter);
  std::set_terminate(OnTerminate);
  Level1();  // frame: main
  return 0;
}
