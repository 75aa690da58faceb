// Test-only part of uninstall_report_timing (with the forced failure of
// uninstall_failure_win32_test_child): before the pipeline composes its
// report, a handler composes the full report of the failing program 21
// times and prints the first (cold) time, the median of the other twenty
// (warm) and each step's median share.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "crash/core/bug_report.h"
#include "crash/core/compose_bug_report.h"
#include "crash/core/handler_lists.h"

namespace {

double Now() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Start times of the steps of the report being composed; the blocks of
// single threads are part of their section's time.
std::vector<std::pair<std::string, double>> steps;

void NoteStep(const char* step) {
  if (std::string(step) != "GetThreadStack") steps.emplace_back(step, Now());
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void TimeReports(bool, uint32_t object, uint32_t address, uint32_t thread_id, std::string&,
                 qor::TScreenshot&, bool&, bool&) {
  constexpr int kWarm = 20;
  qor::report_step_hook = NoteStep;
  std::vector<double> times;
  std::map<std::string, std::vector<double>> shares;
  size_t length = 0;
  for (int run = 0; run <= kWarm; ++run) {
    std::string report;
    steps.clear();
    const double start = Now();
    qor::ComposeBugReport(false, object, address, report, 0, false, 0, 0, thread_id);
    const double end = Now();
    length = report.size();
    times.push_back(end - start);
    if (run == 0) continue;
    steps.emplace_back("end", end);
    for (size_t i = 0; i + 1 < steps.size(); ++i) {
      shares[steps[i].first].push_back(steps[i + 1].second - steps[i].second);
    }
  }
  qor::report_step_hook = nullptr;
  std::printf("report of %u bytes\ncold: %.1f ms\nwarm median of %d: %.1f ms (min %.1f, max %.1f)\n",
              static_cast<unsigned>(length), times[0], kWarm,
              Median({times.begin() + 1, times.end()}),
              *std::min_element(times.begin() + 1, times.end()),
              *std::max_element(times.begin() + 1, times.end()));
  for (const auto& [step, values] : shares) std::printf("  %-18s %6.1f ms\n", step.c_str(), Median(values));
  std::fflush(stdout);
}

// Made with the program's other static objects: phase 0 comes before the
// pipeline's own report.
struct ReportTiming {
  ReportTiming() { qor::RegisterExceptHandler(TimeReports, qor::kOnHandlingThread, 0); }
} report_timing;

}  // namespace
