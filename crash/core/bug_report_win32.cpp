#include "crash/core/bug_report.h"

#include "crash/core/hardware_list.h"
#include "crash/core/module_list.h"
#include "crash/core/report_header.h"
#include "crash/core/report_step_win32.h"
#include "crash/core/settings.h"
#include "crash/core/system_facts_win32.h"
#include "crash/core/thread_report_win32.h"
#include "crash/disasm/function_listing.h"

namespace qor {

void (*report_step_hook)(const char* step) = nullptr;

namespace {

constexpr char kStepHeader[] = "header";

std::string HeaderText(const BugReportInput& input) {
  const TExceptionTexts exception{input.Frozen, input.ClassText, input.MessageText,
                                  std::string(ExceptSettings.FrozenMessage.View())};
  return ReportHeaderText(CollectSystemFacts(input.StartTime), exception);
}

std::string ModuleSection() {
  std::string text;
  TStepFailure address;
  if (!RunStep(kStepModuleReport, [&] { text = ModuleListText(EnumModules(true)); }, address)) {
    text = "modules:\r\n" + StepErrorText(kStepModuleReport, address);
  }
  return text;
}

std::string HardwareSection() {
  std::string text;
  TStepFailure address;
  THardwareList list;
  if (!RunStep(kStepHardwareList, [&] {
        CollectHardware(list);
        text = HardwareListText(list, DriverFactsOf);
      }, address)) {
    text = "hardware:\r\n" + StepErrorText(kStepHardwareList, address);
  }
  return text;
}

// The listing of the function that failed: where the walk found it, else
// around the failing address.
std::string DisassemblySection(const BugReportInput& input, const TFailingCode& code) {
  std::string text;
  TStepFailure address;
  const uint32_t mark = code.CodeAddress ? code.CodeAddress : input.ExceptAddress;
  const uint32_t start = code.FunctionEntry ? code.FunctionEntry : mark;
  if (!RunStep(kStepDisassembly, [&] {
        std::string listing;
        TFunctionInfo info;
        disassembler_hook(start, listing, mark, info, ExceptSettings.DisasmOption,
                          ExceptSettings.DisasmCount);
        text = DisassemblySectionText(listing);
      }, address)) {
    text = "\r\n\r\n" + StepErrorText(kStepDisassembly, address);
  }
  return text;
}

}  // namespace

std::string ComposeBugReportText(const BugReportInput& input) {
  std::string report;
  bool failed = false;
  TStepFailure failure;
  // A step without a section of its own fails the whole report's paragraph,
  // and the steps after it still run.
  const auto step = [&](const char* name, auto&& body) {
    TStepFailure address;
    if (!RunStep(name, body, address) && !failed) {
      failed = true;
      failure = address;
    }
  };
  TFailingCode code;
  std::string threads;
  std::string header;
  step(nullptr, [&] { threads = ThreadSectionText(input, code); });
  step(kStepHeader, [&] { header = HeaderText(input); });
  step(nullptr, [&] {
    report = header + threads;
    if (ExceptSettings.ListModules) report += "\r\n\r\n" + ModuleSection();
    if (ExceptSettings.ListHardware) report += "\r\n\r\n" + HardwareSection();
    if (disassembler_hook) report += DisassemblySection(input, code);
  });
  if (failed) report += ComposeFailureText(failure.Address);
  return report;
}

}  // namespace qor
