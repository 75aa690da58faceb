// Measures how long a request takes from ReportException to the first
// handler call (phase 0) on the handling thread: the median and the
// spread of 100 requests, made from the main thread (which dispatches
// messages while it waits) and from another thread.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "crash/core/handler_lists.h"
#include "crash/core/report_exception.h"

namespace {

constexpr int kRequests = 100;

LARGE_INTEGER started;
std::vector<double> delays;
double ticks_per_microsecond = 1;

void TakeOver(bool, uint32_t, uint32_t, uint32_t, std::string&, qor::TScreenshot&, bool&,
              bool& handled) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  delays.push_back(static_cast<double>(now.QuadPart - started.QuadPart) / ticks_per_microsecond);
  handled = true;  // nothing more to do for this request
}

void Measure() {
  delays.clear();
  for (int i = 0; i < kRequests; ++i) {
    QueryPerformanceCounter(&started);
    qor::ReportException(false, 0, 0, nullptr, 0, 0, true);
  }
}

DWORD WINAPI MeasureOnThread(void*) {
  Measure();
  return 0;
}

void Print(const char* from) {
  std::sort(delays.begin(), delays.end());
  if (delays.size() != kRequests) {
    std::printf("%s: only %zu of %d requests reached phase 0\n", from, delays.size(), kRequests);
    return;
  }
  std::printf("%s: median %.0f us, 10th percentile %.0f us, 90th percentile %.0f us\n", from,
              delays[kRequests / 2], delays[kRequests / 10], delays[kRequests * 9 / 10]);
}

}  // namespace

int main() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  ticks_per_microsecond = static_cast<double>(frequency.QuadPart) / 1e6;
  qor::RegisterExceptHandler(TakeOver, qor::kOnHandlingThread, 0);
  Measure();
  Print("from the main thread");
  HANDLE thread = CreateThread(nullptr, 0, MeasureOnThread, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  Print("from another thread");
  return 0;
}
