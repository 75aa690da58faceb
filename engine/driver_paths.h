// Path texts of the driver cleanup: where a service's image file lies and
// whether it is one that may be deleted, the PNF twin of an INF file, the
// 9x family's copy of an INF file, and whether an INF file is one that
// Setup copied in for a vendor's driver. Pure text work on ANSI paths,
// where "/" separates as "\" does; nothing here asks the system.
#pragma once

#include <string>

namespace engine {

// True when the texts differ at most in ASCII letter case, as the system
// compares names of files, registry values and services.
bool SameAsciiText(const std::string& a, const std::string& b);

// `directory`, one backslash, `name`; no second backslash when `directory`
// already ends with one.
std::string JoinPath(const std::string& directory, const std::string& name);

// The file a service's image path names. Kernel drivers record it in four
// forms: relative to the Windows directory ("System32\DRIVERS\x.sys"),
// "\SystemRoot\...", the object-manager form "\??\C:\..." and plain
// absolute paths. Empty when a relative or \SystemRoot form meets an
// unknown Windows directory, so that nothing is deleted by guesswork. The
// image path's slashes become backslashes.
std::string DriverFileOfImagePath(const std::string& windows_directory,
                                  const std::string& image_path);

// The path with its extension (from the last dot after the last backslash)
// replaced by ".PNF", or ".PNF" appended when the name has none.
std::string PnfTwinOf(const std::string& inf_path);

// The 9x family's copy: "other\" and the manufacturer text inserted after
// the last backslash (searched from the character before the last). Empty
// when the path has no such backslash.
std::string OtherCopyOf(const std::string& inf_path, const std::string& manufacturer);

// The name after the last separator, a backslash or a slash.
std::string FileNameOf(const std::string& path);

// True for a name "oem*.inf", compared without regard to ASCII case: the
// name the NT family gives every INF it copies in for a vendor's driver.
bool IsOemInfName(const std::string& name);

// True for "oem*.inf" directly inside the Windows directory's INF folder.
// Inbox INF files never qualify.
bool IsOemInfFile(const std::string& windows_directory, const std::string& inf_path);

// The 9x family's vendor INF files: "oem*.inf" in the INF folder, or any
// INF in its "other" folder, where that family keeps the copies it made
// of vendors' INF files. Inbox INF files never qualify.
bool IsVendorInf9x(const std::string& windows_directory, const std::string& inf_path);

// True for a text that is one file name: not empty, no separator or colon,
// no "..". Texts from the registry that are pasted into paths must be.
bool IsSingleFileName(const std::string& text);

// True for a driver image this program may delete: an absolute path (drive
// letter, no UNC or device prefix) of a ".sys" file directly inside
// <windows_directory>\System32\drivers, with no ".." anywhere.
bool IsDeletableDriverFile(const std::string& windows_directory, const std::string& path);

}  // namespace engine
