#include "crash/core/report_header.h"

#include <gtest/gtest.h>

#include <vector>

#include "crash/core/testing/report_lines.h"

namespace qor {
namespace {

TSystemFacts FullFacts() {
  TSystemFacts facts;
  facts.Now = {2026, 3, 7, 9, 5, 4, 7};
  facts.ComputerName = "BENCH";
  facts.TerminalClient = "";
  facts.UserName = "anna";
  facts.OsVersion = "Windows XP Service Pack 3 build 2600";
  facts.OsLanguage = "English (United States)";
  facts.SystemUpTime = "";
  facts.ProgramUpTime = "12 milliseconds";
  facts.ProcessorName = "Intel(R) Core(TM)";
  facts.ProcessorCount = 1;
  facts.PhysicalMemory = "100/512 MB (free/total)";
  facts.DiskFree = "(C:) 1.50 GB";
  facts.DisplayMode = "1024x768, 32 bit";
  facts.ProcessId = 0x1a4;
  facts.AllocatedMemory = "2.00 MB";
  facts.Executable = "Uninstall.exe";
  facts.ModuleTime = "2026-03-01 12:00";
  facts.Version = "2.1.0.7";
  return facts;
}

TEST(ReportHeader, LabelsPaddedConditionalLinesOmitted) {
  TExceptionTexts exception{false, "runtime.EOSError", "Access is denied!!."};
  const std::vector<std::string> expected = {
      "date/time         : 2026-03-07, 09:05:04, 7ms",
      "computer name     : BENCH",
      "user name         : anna",
      "operating system  : Windows XP Service Pack 3 build 2600",
      "system language   : English (United States)",
      "program up time   : 12 milliseconds",
      "processor         : Intel(R) Core(TM)",
      "physical memory   : 100/512 MB (free/total)",
      "free disk space   : (C:) 1.50 GB",
      "display mode      : 1024x768, 32 bit",
      "process id        : $1a4",
      "allocated memory  : 2.00 MB",
      "executable        : Uninstall.exe",
      "exec. date/time   : 2026-03-01 12:00",
      "version           : 2.1.0.7",
      "qorExcept version : 2.7i",
      "exception class   : runtime.EOSError",
      "exception message : Access is denied.",
  };
  EXPECT_EQ(test::ReportLines(ReportHeaderText(FullFacts(), exception)), expected);
  for (const std::string& line : expected) EXPECT_EQ(line.find(": "), 18u) << line;
}

TEST(ReportHeader, OptionalFactsAndTheirLabels) {
  TSystemFacts facts = FullFacts();
  facts.TerminalClient = "DESK7";
  facts.ProcessorCount = 2;
  facts.SystemResources = "07/45 (gdi/user)";
  facts.CommandLine = "\"C:\\u.exe\" /x";
  facts.CurrentModule = "C:\\lib\\qor.dll";
  facts.ModuleIsExecutable = false;
  facts.UserName.reset();  // its collector failed
  facts.DiskFree.clear();
  const std::string text = ReportHeaderText(facts, {false, "X", "X"});
  EXPECT_NE(text.find("\r\nwts client name   : DESK7\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nprocessors        : 2x Intel(R) Core(TM)\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nsystem resources  : 07/45 (gdi/user)\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\ncommand line      : \"C:\\u.exe\" /x\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\ncurrent module    : C:\\lib\\qor.dll\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nmodule date/time  : 2026-03-01 12:00\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nfree disk space   : \r\n"), std::string::npos) << "always written";
  EXPECT_EQ(text.find("user name"), std::string::npos);
  EXPECT_EQ(text.find("processor "), std::string::npos);
  // A message equal to its class shows only the class line, without a break.
  EXPECT_EQ(text.substr(text.size() - 23), "\r\nexception class   : X");
}

TEST(ReportHeader, FrozenProgramShowsTheSettingsText) {
  TExceptionTexts frozen{true, "ignored", "ignored", "The application seems to be frozen!!"};
  const std::string text = ReportHeaderText(FullFacts(), frozen);
  EXPECT_EQ(text.find("exception class"), std::string::npos);
  EXPECT_EQ(text.substr(text.rfind("\r\n") + 2),
            "exception message : The application seems to be frozen!!")
      << "unchanged, not cut";
}

TEST(ReportHeader, TimesAndParameters) {
  EXPECT_EQ(ModuleTimeText({2026, 1, 2, 3, 4, 59, 999}), "2026-01-02 03:04");
  EXPECT_FALSE(HasParameters("C:\\u.exe"));
  EXPECT_FALSE(HasParameters("\"C:\\Program Files\\u.exe\"  "));
  EXPECT_TRUE(HasParameters("\"C:\\Program Files\\u.exe\"/x"));
  EXPECT_TRUE(HasParameters("  u.exe x"));
  EXPECT_FALSE(HasParameters("\"unclosed quote x"));
  EXPECT_FALSE(HasParameters(""));
}

TEST(ReportHeader, MessageCutToOneFullStop) {
  EXPECT_EQ(CutMessage("Disk full"), "Disk full.");
  EXPECT_EQ(CutMessage("Disk full.!.!"), "Disk full.");
  EXPECT_EQ(CutMessage(std::string("Done\0.", 6)), "Done.");
  EXPECT_EQ(CutMessage("Mr. Smith failed"), "Mr. Smith failed.");
  EXPECT_EQ(CutMessage("..."), ".");
}

}  // namespace
}  // namespace qor
