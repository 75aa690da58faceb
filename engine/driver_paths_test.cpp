#include "engine/driver_paths.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(DriverPaths, ImagePathFormsNameTheRealFile) {
  struct Case {
    const char* windows;
    const char* image;
    const char* file;
  };
  const Case cases[] = {
      // Relative to the Windows directory, with and without its backslash.
      {"C:\\WINDOWS", "System32\\DRIVERS\\x.sys", "C:\\WINDOWS\\System32\\DRIVERS\\x.sys"},
      {"C:\\WINDOWS\\", "System32\\DRIVERS\\x.sys", "C:\\WINDOWS\\System32\\DRIVERS\\x.sys"},
      // The forms a plain join would turn into paths that name nothing.
      {"C:\\WINDOWS", "\\SystemRoot\\System32\\drivers\\x.sys",
       "C:\\WINDOWS\\System32\\drivers\\x.sys"},
      {"C:\\WINDOWS", "\\systemroot\\x.sys", "C:\\WINDOWS\\x.sys"},
      {"C:\\WINDOWS", "\\??\\D:\\Drivers\\x.sys", "D:\\Drivers\\x.sys"},
      {"C:\\WINDOWS", "D:\\Drivers\\x.sys", "D:\\Drivers\\x.sys"},
      {"C:\\WINDOWS", "system32/drivers/x.sys", "C:\\WINDOWS\\system32\\drivers\\x.sys"},
      {"C:\\WINDOWS", "\\Drivers\\x.sys", "C:\\Drivers\\x.sys"},
      // Unknown Windows directory: no guessing for the relative forms.
      {"", "System32\\DRIVERS\\x.sys", ""},
      {"", "\\SystemRoot\\x.sys", ""},
      {"", "\\??\\D:\\x.sys", "D:\\x.sys"},
      {"C:\\WINDOWS", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DriverFileOfImagePath(c.windows, c.image), c.file) << c.windows << " + " << c.image;
  }
}

TEST(DriverPaths, PnfTwinReplacesOnlyTheNamesExtension) {
  EXPECT_EQ(PnfTwinOf("C:\\WINDOWS\\inf\\oem12.inf"), "C:\\WINDOWS\\inf\\oem12.PNF");
  EXPECT_EQ(PnfTwinOf("C:\\WINDOWS\\INF\\OEM3.INF"), "C:\\WINDOWS\\INF\\OEM3.PNF");
  // A dot in a folder name is no extension of the file.
  EXPECT_EQ(PnfTwinOf("C:\\my.dir\\driver"), "C:\\my.dir\\driver.PNF");
  EXPECT_EQ(PnfTwinOf("driver"), "driver.PNF");
}

TEST(DriverPaths, OtherCopyCarriesTheManufacturerBeforeTheName) {
  EXPECT_EQ(OtherCopyOf("C:\\WINDOWS\\INF\\OEM3.INF", "Xyz"),
            "C:\\WINDOWS\\INF\\other\\XyzOEM3.INF");
  EXPECT_EQ(OtherCopyOf("C:\\WINDOWS\\INF\\OEM3.INF", ""), "C:\\WINDOWS\\INF\\other\\OEM3.INF");
  // The search starts before the last character, so a trailing backslash
  // is not the one found.
  EXPECT_EQ(OtherCopyOf("C:\\INF\\DIR\\", "X"), "C:\\INF\\other\\XDIR\\");
  // No folder: no copy to guess at.
  EXPECT_EQ(OtherCopyOf("OEM3.INF", "Xyz"), "");
}

TEST(DriverPaths, OnlyOemInfFilesOfTheInfFolderQualify) {
  struct Case {
    const char* windows;
    const char* inf;
    bool oem;
  };
  const Case cases[] = {
      {"C:\\WINDOWS", "C:\\WINDOWS\\inf\\oem12.inf", true},
      {"C:\\WINDOWS\\", "C:\\WINDOWS\\INF\\OEM3.INF", true},
      {"c:\\windows", "C:\\WINDOWS\\Inf\\Oem0.Inf", true},
      {"C:\\windows", "C:/windows/inf\\oem90.inf", true},  // as Wine's driver search gives it
      {"C:\\windows", "C:/windows/inf/sub\\oem1.inf", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\inf\\usb.inf", false},      // inbox
      {"C:\\WINDOWS", "C:\\WINDOWS\\inf\\oem12.pnf", false},
      {"C:\\WINDOWS", "C:\\Drivers\\oem12.inf", false},         // outside the folder
      {"C:\\WINDOWS", "C:\\WINDOWS\\inf\\sub\\oem1.inf", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\inf\\oem.inf", false},
      {"", "C:\\WINDOWS\\inf\\oem12.inf", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsOemInfFile(c.windows, c.inf), c.oem) << c.inf;
}

TEST(DriverPaths, OnlySingleSysFilesOfTheDriversFolderMayBeDeleted) {
  struct Case {
    const char* windows;
    const char* path;
    bool deletable;
  };
  const Case cases[] = {
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\x.sys", true},
      {"C:\\WINDOWS\\", "c:/windows/system32/drivers/X.SYS", true},
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\..\\..\\x.sys", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\a..b.sys", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\sub\\x.sys", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\x.dll", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\.sys", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\DRIVERS\\x.sys:ads", false},
      {"C:\\WINDOWS", "C:\\WINDOWS\\System32\\x.sys", false},
      {"C:\\WINDOWS", "D:\\WINDOWS\\System32\\DRIVERS\\x.sys", false},
      {"C:\\WINDOWS", "\\\\server\\share\\WINDOWS\\System32\\DRIVERS\\x.sys", false},
      {"C:\\WINDOWS", "\\\\?\\C:\\WINDOWS\\System32\\DRIVERS\\x.sys", false},
      {"C:\\WINDOWS", "\\??\\C:\\WINDOWS\\System32\\DRIVERS\\x.sys", false},
      {"C:\\WINDOWS", "C:WINDOWS\\System32\\DRIVERS\\x.sys", false},
      {"", "C:\\WINDOWS\\System32\\DRIVERS\\x.sys", false},
      {"C:\\WINDOWS", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsDeletableDriverFile(c.windows, c.path), c.deletable) << c.windows << " " << c.path;
  }
}

TEST(DriverPaths, RegistryTextsMustBeSingleFileNames) {
  for (const char* name : {"x.sys", "Xyz", "OEM3.INF", "a b.c"}) EXPECT_TRUE(IsSingleFileName(name));
  for (const char* text : {"", "..", "..\\x.sys", "a/b", "C:x", "a\\b", "x..y"}) {
    EXPECT_FALSE(IsSingleFileName(text)) << text;
  }
}

TEST(DriverPaths, FileNameFollowsEitherSeparator) {
  EXPECT_EQ(FileNameOf("C:\\WINDOWS\\INF\\oem3.inf"), "oem3.inf");
  EXPECT_EQ(FileNameOf("C:/windows/inf\\oem90.inf"), "oem90.inf");
  EXPECT_EQ(FileNameOf("C:\\windows\\inf/oem91.inf"), "oem91.inf");
  EXPECT_EQ(FileNameOf("oem4.inf"), "oem4.inf");
}

}  // namespace
}  // namespace engine
