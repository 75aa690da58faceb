// How long composing one full report takes in this process: two named
// threads besides the main thread, one of them failing (held inside the
// raise routine while the reports are composed), all threads, modules and
// hardware listed. Prints the first (cold) report's time, the median of
// the next twenty (warm), and each section's share of the warm median.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crash/core/bug_report.h"
#include "crash/core/thread_registry.h"
#include "crash/disasm/function_listing_win32.h"
#include "runtime/exceptions.h"
#include "runtime/raise.h"

namespace {

HANDLE g_failed = nullptr;
HANDLE g_release = nullptr;
uint32_t g_failing_thread = 0;
uint32_t g_raise_address = 0;

void Hold(const runtime::RaiseRecord& record) {
  if (GetCurrentThreadId() != g_failing_thread) return;
  g_raise_address = record.address;
  SetEvent(g_failed);
  WaitForSingleObject(g_release, INFINITE);
}

__attribute__((noinline)) void Fail(int depth) {
  if (depth > 0) {
    Fail(depth - 1);
    GetTickCount();
    return;
  }
  throw runtime::Exception("timing");
}

DWORD WINAPI Failing(void*) {
  try {
    Fail(3);
  } catch (const runtime::Exception&) {
  }
  return 0;
}

DWORD WINAPI Waiting(void*) { return WaitForSingleObject(g_release, INFINITE); }

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Start times of the steps of the report being composed.
std::vector<std::pair<std::string, double>> g_steps;

void NoteStep(const char* step) {
  if (std::strcmp(step, "GetThreadStack") != 0) g_steps.emplace_back(step, Now());
}

}  // namespace

int main() {
  qor::JoinThreadRegistry();
  qor::InstallFunctionListing();
  g_failed = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  runtime::raise_hook = Hold;
  qor::report_step_hook = NoteStep;
  DWORD id = 0;
  HANDLE waiting = CreateThread(nullptr, 0, Waiting, nullptr, 0, &id);
  qor::SetThreadDisplayName(id, "waiting thread");
  HANDLE failing = CreateThread(nullptr, 0, Failing, nullptr, CREATE_SUSPENDED, &id);
  g_failing_thread = id;
  qor::SetThreadDisplayName(id, "failing thread");
  ResumeThread(failing);
  WaitForSingleObject(g_failed, INFINITE);

  qor::BugReportInput input;
  input.ClassText = "runtime.Exception";
  input.MessageText = "timing";
  input.ExceptAddress = g_raise_address;
  input.ThreadId = g_failing_thread;

  constexpr int kWarm = 20;
  std::vector<double> times;
  std::map<std::string, std::vector<double>> shares;
  size_t length = 0;
  for (int run = 0; run <= kWarm; ++run) {
    g_steps.clear();
    const double start = Now();
    const std::string report = qor::ComposeBugReportText(input);
    const double end = Now();
    length = report.size();
    times.push_back(end - start);
    if (run == 0) continue;
    g_steps.emplace_back("end", end);
    for (size_t i = 0; i + 1 < g_steps.size(); ++i) {
      shares[g_steps[i].first].push_back(g_steps[i + 1].second - g_steps[i].second);
    }
  }
  std::vector<double> warm(times.begin() + 1, times.end());
  std::sort(warm.begin(), warm.end());
  const double median = (warm[kWarm / 2 - 1] + warm[kWarm / 2]) / 2;
  std::printf("report of %u bytes, 3 threads\n", static_cast<unsigned>(length));
  std::printf("cold: %.1f ms\nwarm median of %d: %.1f ms (min %.1f, max %.1f)\n", times[0], kWarm,
              median, warm.front(), warm.back());
  for (auto& [step, values] : shares) {
    std::sort(values.begin(), values.end());
    std::printf("  %-18s %6.1f ms\n", step.c_str(), values[values.size() / 2]);
  }

  SetEvent(g_release);
  WaitForSingleObject(failing, INFINITE);
  WaitForSingleObject(waiting, INFINITE);
  for (HANDLE handle : {failing, waiting, g_failed, g_release}) CloseHandle(handle);
  return 0;
}
