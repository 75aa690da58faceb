// The settings record of the crash-report core: everything the core may do
// differently from one program to the next, compiled into the program.
//
// A program supplies its own record by defining `qor::ExceptSettings` in
// one of its source files, usually with designated initialisers over the
// defaults below; a program that defines none links the library's default,
// which lives alone in its own object file for that reason. The record is
// initialised before any code runs (constant data), so the core can read it
// from its earliest start-up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "crash/modules/minidump_writer.h"

namespace qor {

// A length-prefixed text of fixed capacity: one length byte, then at most
// `Capacity` characters. A length beyond the capacity counts as the
// capacity.
template <size_t Capacity>
struct ShortText {
  static_assert(Capacity <= 255, "the length is one byte");

  constexpr ShortText() = default;
  template <size_t N>
  constexpr ShortText(const char (&text)[N]) : Length(N - 1) {  // NOLINT: literals convert
    static_assert(N - 1 <= Capacity, "text longer than the field");
    for (size_t i = 0; i + 1 < N; ++i) Chars[i] = text[i];
  }

  std::string_view View() const { return {Chars, Length < Capacity ? Length : Capacity}; }
  bool Empty() const { return Length == 0; }
  // Run time (the password deciphered in place): cut to the capacity.
  void Assign(std::string_view text) {
    Length = static_cast<uint8_t>(text.size() < Capacity ? text.size() : Capacity);
    text.copy(Chars, Length);
  }

  uint8_t Length = 0;
  char Chars[Capacity] = {};
};

// Code and data addresses in the program that the core intercepts or reads.
// Each is filled with the real address of our runtime's or GUI library's
// routine; what has no counterpart in this build stays null and is simply
// not hooked.
struct THookTargets {
  const void* GuiHandleException = nullptr;     // application-level handler
  const void* GuiShowException = nullptr;       // show-exception routine
  const void* AltGuiHandleException = nullptr;  // no second GUI library here
  const void* AltGuiShowException = nullptr;
  const void* RuntimeShowException = nullptr;
  const void* PackageLoader = nullptr;          // no run-time packages here
  const void* PackageInitialiser = nullptr;
  const void* Synchronise = nullptr;
  const void* CgiHandler = nullptr;
  const void* IsapiHandler = nullptr;
  const void* IsapiExtensionEntry = nullptr;
  const void* Halt = nullptr;
  const void* ConsoleOutput = nullptr;          // located, never hooked
  const void* UnitInitialisation = nullptr;
  const void* UnitFinaliser = nullptr;
  const void* OutermostHandler = nullptr;
  const void* RuntimeErrorMessage = nullptr;    // a buffer, not code
  const void* EndOfHandler = nullptr;
};

// Button and action numbers shared by the dialog, the handlers and the
// automatic actions.
inline constexpr int kButtonCount = 7;

// The fields in the order the core documents them. Flags are bool, numbers
// signed 32-bit, texts fixed-capacity; run-time text variables point to
// text that the setter keeps alive (null: empty).
struct TExceptSettings {
  bool ShowDialog = true;
  bool PauseRunningThreads = true;
  bool AutoSave = false;
  bool AutoMail = false;
  bool AutoClipboard = false;
  bool AutoContinue = false;
  int32_t AutoRestart = 0;  // see AutoActionDue
  int32_t AutoClose = 0;
  int32_t AutoDelaySeconds = 60;
  const char* MailFrom = nullptr;  // run time: overrides the mail sender
  ShortText<75> MailAddress;       // recipients, separated by "," or ";"
  ShortText<50> MailSubject = "bug report";
  bool AttachBugReportFile = true;
  bool DeleteFileAfterMail = false;
  int32_t ScreenShotMode = 8;  // see ScreenShotModeOf
  bool SendDirectSmtp = false;
  bool SendViaServer = false;
  bool SendViaMapi = true;
  bool SendViaShell = true;
  ShortText<50> SmtpServer;
  int32_t SmtpPort = 25;
  ShortText<50> SmtpUser;
  ShortText<75> SmtpPassword;              // stored enciphered
  const char* ExtraAttachments = nullptr;  // run time: files separated by "|"
  ShortText<200> MailSentText = "The mail was sent successfully.";
  ShortText<200> MailFailedText = "Sorry, sending the mail didn't work.";
  ShortText<255> BugReportFile = "bugreport.txt";
  int32_t BugReportFileMaxSize = 50000;  // 0: each report overwrites the file
  ShortText<100> TitleText = "%appname%";
  ShortText<255> ErrorMessage = "An error occurred in the application.";
  ShortText<255> FrozenMessage = "The application seems to be frozen.";
  std::array<ShortText<30>, kButtonCount> ButtonCaptions = {
      "mail bug report",      "", "", "show bug report",
      "continue application", "restart application", "close application"};
  int32_t FocusedButton = 0;
  bool ShowDetailsAtStart = false;
  bool ListAllThreads = true;
  bool ListModules = true;
  bool ListHardware = true;
  bool HideUselessItems = false;
  bool ShowRelativeAddresses = false;
  bool ShowRelativeLines = false;
  bool DisasmOption = false;
  int32_t DisasmCount = 5;
  bool ShowCommandLine = true;
  bool AnimatedButtons = true;
  bool ConsoleOutput = true;
  bool ResetFpuAfterReport = false;
  bool SkipChainOptimisation = false;
  const char* IgnoreList = nullptr;  // run time: class names never reported
  bool WebServerMode = false;        // run time: set when an ISAPI entry is hooked
  bool HandleExceptions = true;
  int32_t FreezeTimeout = 0;                  // milliseconds; > 0 starts the watchdog
  const char* const* VersionText = nullptr;   // where the program keeps its version text
  bool InstallHooks = true;
  THookTargets HookTargets;
  // For the crash servers that teams already run: a minidump beside the
  // bug-report file, and its upload with the text report. Without an
  // upload URL nothing is uploaded or queued.
  MinidumpSize Minidump = MinidumpSize::kSmall;
  ShortText<255> UploadUrl;      // "http://host[:port]/path" or "https://..."
  ShortText<50> UploadProduct;   // the form's "prod"; empty: the executable's name
  ShortText<30> UploadVersion;   // the form's "ver"
  bool UploadGzip = false;       // only for a server that takes a gzip body
  int32_t UploadIntervalSeconds = 60;  // at most one request per interval
  ShortText<255> UploadQueueFolder;    // empty: "crash uploads" beside the minidump
  int32_t UploadQueueMaxReports = 5;   // the oldest waiting reports go beyond these
  int32_t UploadQueueMaxBytes = 32 << 20;
};

// The record of this program (see above).
extern TExceptSettings ExceptSettings;

// UTC times of the last ten handled requests in whole seconds since
// 1601-01-01, newest first; 0 for an empty slot.
using TExceptTimes = std::array<uint64_t, 10>;

// Whether the automatic restart or close with rule `value` is due at `now`
// (seconds as in TExceptTimes): 0 never, 1 always, any other value n
// (taken unsigned, so negative values are large) when all ten slots hold a
// time no more than n seconds before now, that is, when ten requests came
// within n seconds.
bool AutoActionDue(int32_t value, const TExceptTimes& times, uint64_t now);

// The screenshot mode that a ScreenShotMode setting selects: -1 for none
// (0 or less), 1 to 5 for 4, 51200, 102400, 307200 and 409600, 0 for any
// other positive value.
int ScreenShotModeOf(int32_t setting);

// Replaces the placeholders of a configurable text: "%appname%" by
// `app_name`, "%exceptMsg%" by `except_message`, "%LF%" by a line break
// (CR LF), in one pass: inserted text is not searched again. Placeholders
// are matched ignoring case.
std::string ExpandPlaceholders(std::string_view text, std::string_view app_name,
                               std::string_view except_message);

// The file name part of `path` (after the last "\", "/" or ":"), with or
// without its extension: what "%appname%" stands for.
std::string AppNameOf(std::string_view path, bool with_extension);

}  // namespace qor
