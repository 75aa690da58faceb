// Printing a report on Wine's PostScript driver, with a printer of our own
// whose port is a file: the test presses Print in the print dialog and
// reads the text back from the glyphs that the driver wrote.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "crash/core/report_actions.h"
#include "crash/core/settings.h"
#include "crash/core/win_handle.h"

namespace qor {
namespace {

constexpr char kPrinter[] = "QorTestPrinter";
constexpr char kDriver[] = "Wine PostScript Driver";

std::string TempPath(const char* name) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + name;
}

// A PostScript printer description with one paper size, A4.
constexpr char kPrinterDescription[] =
    "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*LanguageVersion: English\n"
    "*ModelName: \"Qor Test Printer\"\n*ShortNickName: \"Qor Test\"\n"
    "*NickName: \"Qor Test Printer\"\n*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n"
    "*ColorDevice: False\n*DefaultResolution: 300dpi\n*OpenUI *PageSize: PickOne\n"
    "*DefaultPageSize: A4\n*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
    "*CloseUI: *PageSize\n*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"18 18 577 824\"\n"
    "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n";

// Installs the printer as the default one, printing into `output`; removes
// it again afterwards.
class FilePrinter {
 public:
  explicit FilePrinter(const std::string& output) {
    char directory[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(directory),
                               sizeof directory, &needed);
    directory_ = directory;
    std::ofstream(directory_ + "\\qor-test.ppd", std::ios::binary) << kPrinterDescription;
    DRIVER_INFO_3A driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<char*>(kDriver);
    driver.pDriverPath = const_cast<char*>("wineps.drv");
    driver.pDataFile = const_cast<char*>("qor-test.ppd");
    driver.pConfigFile = const_cast<char*>("wineps.drv");
    AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&driver));
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(kPrinter);
    info.pPortName = const_cast<char*>(output.c_str());
    info.pDriverName = const_cast<char*>(kDriver);
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    if (HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info))) {
      ClosePrinter(printer);
    }
    installed_ = SetDefaultPrinterA(kPrinter) != 0;
  }
  FilePrinter(const FilePrinter&) = delete;
  FilePrinter& operator=(const FilePrinter&) = delete;
  ~FilePrinter() {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSA access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterA(const_cast<char*>(kPrinter), &printer, &access)) {
      DeletePrinter(printer);
      ClosePrinter(printer);
    }
    DeletePrinterDriverA(nullptr, nullptr, const_cast<char*>(kDriver));
    // Adding the driver copied the description into the version folder.
    DeleteFileA((directory_ + "\\qor-test.ppd").c_str());
    DeleteFileA((directory_ + "\\3\\qor-test.ppd").c_str());
  }
  bool installed() const { return installed_; }

 private:
  std::string directory_;
  bool installed_ = false;
};

// Presses Print in the print dialog once it is shown.
DWORD WINAPI PressPrint(void*) {
  for (int i = 0; i < 2000; ++i) {
    const HWND dialog = FindWindowA("#32770", "Print");
    if (dialog && IsWindowVisible(dialog)) {
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(10);
  }
  return 1;
}

// The text that the driver drew, one glyph name at a time, and the number
// of pages.
struct Printed {
  std::string text;
  int pages = 0;
};

Printed ReadPostScript(const std::string& path) {
  static const std::map<std::string, char> kNames = {
      {"zero", '0'}, {"one", '1'},   {"two", '2'},   {"three", '3'}, {"four", '4'},
      {"five", '5'}, {"six", '6'},   {"seven", '7'}, {"eight", '8'}, {"nine", '9'},
      {"slash", '/'}, {"colon", ':'}, {"period", '.'}, {"hyphen", '-'}, {"space", ' '}};
  std::ifstream file(path, std::ios::binary);
  Printed printed;
  std::string line;
  const std::regex glyph("^/([A-Za-z0-9]+) glyphshow");
  std::smatch match;
  while (std::getline(file, line)) {
    if (line.rfind("%%Page: ", 0) == 0) ++printed.pages;
    if (!std::regex_search(line, match, glyph)) continue;
    const std::string name = match[1];
    if (name.size() == 1) {
      printed.text += name;
    } else {
      const auto known = kNames.find(name);
      printed.text += known == kNames.end() ? '?' : known->second;
    }
  }
  return printed;
}

TEST(ReportPrint, EveryLineReachesThePagesInOrder) {
  const std::string output = TempPath("qor-print.ps");
  DeleteFileA(output.c_str());
  FilePrinter printer(output);
  ASSERT_TRUE(printer.installed());
  const TExceptSettings saved = ExceptSettings;
  ExceptSettings.ButtonCaptions[2] = "print bug report";

  std::string report = "date/time : 2026-12-08\r\n\r\n";
  std::string expected = "date/time:2026-12-08";
  for (int i = 1; i <= 250; ++i) {
    const std::string number = std::to_string(1000 + i).substr(1);
    report += "line " + number + "\r\n";
    expected += "line" + number;
  }
  // A line far wider than the page, which must wrap without losing words.
  for (int i = 0; i < 60; ++i) report += "word" + std::to_string(i) + " ";
  for (int i = 0; i < 60; ++i) expected += "word" + std::to_string(i);

  OwnedHandle presser(CreateThread(nullptr, 0, PressPrint, nullptr, 0, nullptr));
  EXPECT_TRUE(PrintReport(report, nullptr));
  EXPECT_EQ(WaitForSingleObject(presser.get(), 30000), WAIT_OBJECT_0);
  ExceptSettings = saved;

  const Printed printed = ReadPostScript(output);
  std::string without_blanks = printed.text;
  std::erase(without_blanks, ' ');
  EXPECT_EQ(without_blanks, expected);
  // The blanks where the long line was wrapped are not printed.
  const std::string words = printed.text.substr(printed.text.find("word0"));
  EXPECT_LT(std::count(words.begin(), words.end(), ' '), 59);
  // About 90 lines of 8 points fit on the 27.7 cm between the margins.
  EXPECT_GE(printed.pages, 3);
  EXPECT_LE(printed.pages, 4);
  DeleteFileA(output.c_str());
}

}  // namespace
}  // namespace qor
