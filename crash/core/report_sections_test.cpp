#include "crash/core/report_sections.h"

#include <gtest/gtest.h>

#include "crash/core/hardware_list.h"

namespace qor {
namespace {

TEST(ModuleList, ColumnsPaddedToTheLongestPlusOne) {
  TDAModule modules = {
      {0x400000, "Uninstall.exe", "C:\\Program Files\\Varnel\\", "2.1.0.7", "6B1D4C7A1"},
      {0x7b000000, "kernel32.dll", "C:\\windows\\system32\\", "", ""},
      {0x7bc00000, "ntdll.dll", "C:\\windows\\system32\\", "10.0.19041.1", ""},
  };
  EXPECT_EQ(ModuleListText(modules),
            "modules:"
            "\r\n00400000 Uninstall.exe 2.1.0.7      C:\\Program Files\\Varnel\\  debug id 6B1D4C7A1"
            "\r\n7b000000 kernel32.dll               C:\\windows\\system32\\"
            "\r\n7bc00000 ntdll.dll     10.0.19041.1 C:\\windows\\system32\\");
  EXPECT_EQ(ModuleListText({}), "modules:");
}

TEST(ThreadBlock, HeaderMarksAndCreatedByLine) {
  EXPECT_EQ(ThreadHeaderLine("main thread ($10)", false, 0), "\r\n\r\nmain thread ($10):\r\n");
  EXPECT_EQ(ThreadHeaderLine("thread $2c", true, 2), "\r\n\r\nthread $2c: <suspended> <priority:2>\r\n");
  EXPECT_EQ(ThreadHeaderLine("thread $2c", false, -15), "\r\n\r\nthread $2c: <priority:-15>\r\n");

  std::string stack = "0040100a a.exe a.cpp 12 Work\r\n00401500 a.exe a.cpp 40 main";
  InsertCreatedBy(stack, "main thread ($10)");
  EXPECT_EQ(stack, "0040100a a.exe a.cpp 12 Work\r\n>> created by main thread ($10) at:"
                   "\r\n00401500 a.exe a.cpp 40 main");
  std::string single = "00401500 a.exe a.cpp 40 main";
  InsertCreatedBy(single, "thread $8");
  EXPECT_EQ(single, "00401500 a.exe a.cpp 40 main\r\n>> created by thread $8 at:")
      << "a one-line stack gets the line after it";

  EXPECT_EQ(StackNotAccessibleText(false, "x"), ">> stack not accessible");
  EXPECT_EQ(StackNotAccessibleText(true, "0040100a a.exe a.cpp 12 Work"),
            ">> stack not accessible, exception location: \r\n0040100a a.exe a.cpp 12 Work");
}

TEST(ReportFailureTexts, InternalErrorAndComposeFailure) {
  EXPECT_EQ(InternalErrorText(kStepHardwareList, ""), ">> internal error in GetHardwareList");
  EXPECT_EQ(InternalErrorText(kStepModuleReport, "00401000 a.exe a.cpp 3 f"),
            ">> internal error in GetModuleReport:\r\n00401000 a.exe a.cpp 3 f");
  EXPECT_EQ(ComposeFailureText(0), "\r\n\r\nAn exception occurred during composing the bug report.");
  EXPECT_EQ(ComposeFailureText(0x40100a),
            "\r\n\r\nAn exception occurred during composing the bug report. $40100a");
  EXPECT_EQ(DisassemblySectionText(""), "");
  EXPECT_EQ(DisassemblySectionText("> 00401000 ret"), "\r\n\r\ndisassembling:\r\n> 00401000 ret");
}

TEST(HardwareList, CaseInsensitiveOrderClassReusedOnlyWhenExact) {
  THardwareList list;
  AddHardware(list, "Ports", {"COM2", ""});
  AddHardware(list, "Display", {"VGA", ""});
  AddHardware(list, "ports", {"LPT1", ""});  // other spelling: a class of its own, before "Ports"
  AddHardware(list, "Ports", {"com1", ""});
  AddHardware(list, "Ports", {"COM1", ""});  // duplicates stay, before the equal one
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Name, "Display");
  EXPECT_EQ(list[1].Name, "ports");
  EXPECT_EQ(list[2].Name, "Ports");
  ASSERT_EQ(list[2].Devices.size(), 3u);
  EXPECT_EQ(list[2].Devices[0].Description, "COM1");
  EXPECT_EQ(list[2].Devices[1].Description, "com1");
  EXPECT_EQ(list[2].Devices[2].Description, "COM2");
}

TEST(HardwareList, SkipRulesOfBothFamilies) {
  EXPECT_TRUE(SkipNtDevice("Volume", "STORAGE\\Volume"));
  EXPECT_TRUE(SkipNtDevice("LegacyDriver", ""));
  EXPECT_TRUE(SkipNtDevice("Unknown", ""));
  EXPECT_TRUE(SkipNtDevice("Media", "SW\\{b7eafdc0}"));
  EXPECT_FALSE(SkipNtDevice("volume", "")) << "the class names match exactly";
  EXPECT_FALSE(SkipNtDevice("USB", "USB\\VID_1234&PID_0001"));
  EXPECT_TRUE(Skip9xDevice(true, "PCI\\VEN_1"));
  EXPECT_TRUE(Skip9xDevice(false, "ROOT\\swenum\\X"));
  EXPECT_FALSE(Skip9xDevice(false, "PCI\\VEN_1"));
  EXPECT_TRUE(Skip9xClass(""));
  EXPECT_TRUE(Skip9xClass("NetTrans"));
  EXPECT_FALSE(Skip9xClass("Net"));
}

TEST(HardwareList, DriverShownForOtherProvidersOnly) {
  THardwareList list;
  AddHardware(list, "USB", {"Varnel D805", "k\\1"});
  AddHardware(list, "USB", {"Root Hub", "k\\2"});
  AddHardware(list, "USB", {"Hub (no key)", ""});
  AddHardware(list, "USB", {"Old adapter", "k\\3"});
  AddHardware(list, "USB", {"Bracketed", "k\\4"});
  const auto facts = [](const std::string& key) -> TDriverFacts {
    if (key == "k\\1") return {"Varnel", " 3.1.0.2 ", "1-2-2020"};
    if (key == "k\\2") return {"MICROSOFT", "5.1", ""};
    if (key == "k\\3") return {"Acme", "", " 4-5-2001"};
    if (key == "k\\4") return {"(Standard)", "1.0", ""};
    ADD_FAILURE() << "read for a device without a driver key";
    return {};
  };
  EXPECT_EQ(HardwareListText(list, facts),
            "hardware:\r\n+ USB"
            "\r\n  - Bracketed"
            "\r\n  - Hub (no key)"
            "\r\n  - Old adapter (driver 4-5-2001)"
            "\r\n  - Root Hub"
            "\r\n  - Varnel D805 (driver 3.1.0.2)");
}

}  // namespace
}  // namespace qor
