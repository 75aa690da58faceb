// The exception dialog driven like a user: found by its window class, its
// buttons read and pressed, the keyboard's Escape and the close box used.
// The dialog runs on its own thread, as on the handling thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crash/core/except_box.h"
#include "crash/core/settings.h"
#include "crash/core/win_handle.h"

namespace qor {
namespace {

std::vector<int> fired;  // written on the dialog's thread while the test waits
bool handled = true;
HANDLE fired_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);

bool RecordAction(int action) {
  fired.push_back(action);
  SetEvent(fired_event);
  return handled;
}

// RunExceptBox on a thread of its own.
class DialogThread {
 public:
  explicit DialogThread(ExceptBoxRequest request) : request_(std::move(request)) {
    thread_.reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
  }
  DialogThread(const DialogThread&) = delete;
  DialogThread& operator=(const DialogThread&) = delete;
  ~DialogThread() {
    if (HWND dialog = FindWindowA("qorExceptWndClass", nullptr)) {
      PostMessageA(dialog, WM_NULL, 777, 777);
    }
    WaitForSingleObject(thread_.get(), 30000);
  }

  // The dialog window, once it is up (null after 20 s).
  HWND Dialog() const {
    for (int i = 0; i < 2000; ++i) {
      if (HWND dialog = FindWindowA("qorExceptWndClass", nullptr)) {
        if (IsWindowVisible(dialog)) return dialog;
      }
      if (WaitForSingleObject(thread_.get(), 10) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
  }

  // Whether the dialog ended (and RunExceptBox returned) within 20 s,
  // pumping this thread's messages meanwhile.
  bool Ended() const {
    const DWORD deadline = GetTickCount() + 20000;
    for (;;) {
      const HANDLE thread = thread_.get();
      const DWORD left = deadline - GetTickCount();
      if (static_cast<int>(left) <= 0) return false;
      const DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_ALLINPUT);
      if (result == WAIT_OBJECT_0) return true;
      if (result != WAIT_OBJECT_0 + 1) return false;
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
  }

  DWORD ThreadId() const { return GetThreadId(thread_.get()); }

 private:
  static DWORD WINAPI Run(void* self) {
    RunExceptBox(static_cast<DialogThread*>(self)->request_);
    return 0;
  }

  ExceptBoxRequest request_;
  OwnedHandle thread_;
};

struct Button {
  HWND window;
  std::string caption;
};

std::vector<Button> ButtonsOf(HWND dialog) {
  std::vector<Button> buttons;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char class_name[32] = {}, caption[64] = {};
    GetClassNameA(child, class_name, sizeof class_name);
    GetWindowTextA(child, caption, sizeof caption);
    if (lstrcmpiA(class_name, "Button") != 0 || !*caption) continue;
    buttons.push_back({child, caption});
  }
  return buttons;
}

HWND ButtonNamed(HWND dialog, const std::string& caption) {
  for (const Button& button : ButtonsOf(dialog)) {
    if (button.caption == caption) return button.window;
  }
  return nullptr;
}

void Press(HWND dialog, HWND button) {
  ASSERT_NE(button, nullptr);

  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

std::string TextOf(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

class ExceptBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fired.clear();
    ResetEvent(fired_event);
    handled = true;
    ExceptSettings.ConsoleOutput = false;  // this test is a console program
    ExceptSettings.AutoDelaySeconds = 0;
    ExceptSettings.ButtonCaptions = {"mail bug report",      "save bug report",
                                     "print bug report",     "show bug report",
                                     "continue application", "restart application",
                                     "close application"};
    request_.exception_message = "Division by zero";
    request_.report = "date/time         : 2026-12-08\r\nexception message : Division by zero";
    request_.fire_action = RecordAction;
  }
  void TearDown() override { ExceptSettings = saved_; }

  TExceptSettings saved_ = ExceptSettings;
  ExceptBoxRequest request_;
};

TEST_F(ExceptBoxTest, EveryButtonFiresItsActionAndShowRevealsTheReport) {
  ExceptSettings.AutoContinue = true;
  DialogThread thread(request_);
  const HWND dialog = thread.Dialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(dialog), "qor_except_box_win32_test.exe");
  const std::vector<Button> buttons = ButtonsOf(dialog);
  ASSERT_EQ(buttons.size(), 7u);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(thread.ThreadId(), &gui);
  EXPECT_EQ(gui.hwndFocus, ButtonNamed(dialog, "continue application")) << "continue is automatic";

  RECT collapsed;
  GetWindowRect(dialog, &collapsed);
  for (const char* caption : {"mail bug report", "save bug report", "print bug report",
                              "restart application", "close application"}) {
    Press(dialog, ButtonNamed(dialog, caption));
  }
  EXPECT_EQ(fired, (std::vector<int>{0, 1, 2, 5, 6}));
  ASSERT_TRUE(IsWindow(dialog)) << "handled actions leave the dialog";

  Press(dialog, ButtonNamed(dialog, "show bug report"));
  RECT expanded;
  GetWindowRect(dialog, &expanded);
  EXPECT_GE(expanded.right - expanded.left, 538);
  EXPECT_GT(expanded.bottom - expanded.top, collapsed.bottom - collapsed.top + 300);
  EXPECT_EQ(ButtonNamed(dialog, "show bug report"), nullptr) << "show is gone";
  const HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(TextOf(edit), request_.report);

  Press(dialog, ButtonNamed(dialog, "continue application"));
  EXPECT_TRUE(thread.Ended()) << "continue ends the dialog even when handled";
  EXPECT_EQ(fired, (std::vector<int>{0, 1, 2, 5, 6, 3, 4}));
}

// The buttons that move right when a narrow dialog grows to show the
// report are painted where they are: the dialog's own repaint of its new
// strip (it does not clip its children) must not cover them.
TEST_F(ExceptBoxTest, ButtonsMovedByShowStayPainted) {
  ExceptSettings.ButtonCaptions = {"", "", "", "show bug report", "continue application",
                                   "restart application", "close application"};
  DialogThread thread(request_);
  const HWND dialog = thread.Dialog();
  ASSERT_NE(dialog, nullptr);
  RECT collapsed;
  GetWindowRect(dialog, &collapsed);
  ASSERT_LT(collapsed.right - collapsed.left, 538) << "the dialog must grow";
  Press(dialog, ButtonNamed(dialog, "show bug report"));
  UpdateWindow(dialog);  // whatever the dialog still had to repaint
  const HWND close = ButtonNamed(dialog, "close application");
  ASSERT_NE(close, nullptr);
  RECT button;
  GetWindowRect(close, &button);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
  HDC dc = GetDC(dialog);
  const COLORREF right_end = GetPixel(dc, button.right - 3, button.top + 11);
  ReleaseDC(dialog, dc);
  EXPECT_NE(right_end, GetSysColor(COLOR_BTNFACE)) << "the dialog's face covers the button";
}

TEST_F(ExceptBoxTest, ProgramThatCannotContinueDisablesContinueAndEscapeCloses) {
  request_.can_continue = false;
  ExceptSettings.FocusedButton = 6;
  DialogThread thread(request_);
  const HWND dialog = thread.Dialog();
  ASSERT_NE(dialog, nullptr);
  const HWND continue_button = ButtonNamed(dialog, "continue application");
  ASSERT_NE(continue_button, nullptr);
  EXPECT_FALSE(IsWindowEnabled(continue_button));
  EXPECT_EQ(GetWindowLongPtrA(continue_button, GWLP_USERDATA), 7) << "the can't-continue glyph";
  PostMessageA(ButtonNamed(dialog, "close application"), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_EQ(WaitForSingleObject(fired_event, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(fired, std::vector<int>{6});
  // The close action was handled, so the dialog stays until WM_NULL 777/777.
  PostMessageA(dialog, WM_NULL, 777, 777);
  EXPECT_TRUE(thread.Ended());
}

TEST_F(ExceptBoxTest, DialogWithoutContinueRestartOrCloseCanStillBeClosed) {
  ExceptSettings.ButtonCaptions = {"mail bug report", "", "", "", "", "", ""};
  DialogThread thread(request_);
  const HWND dialog = thread.Dialog();
  ASSERT_NE(dialog, nullptr);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(thread.Ended());
  EXPECT_EQ(fired, std::vector<int>{4});
}

TEST_F(ExceptBoxTest, CountdownPressesTheAutomaticButton) {
  ExceptSettings.AutoContinue = true;
  ExceptSettings.AutoDelaySeconds = 1;
  DialogThread thread(request_);
  EXPECT_TRUE(thread.Ended());
  EXPECT_EQ(fired, std::vector<int>{4});
}

TEST_F(ExceptBoxTest, DueAutomaticCloseHasTheFocusAndTheCountdown) {
  ExceptSettings.AutoClose = 1;  // always due
  ExceptSettings.AutoDelaySeconds = 1;
  ExceptSettings.AutoContinue = true;
  DialogThread thread(request_);
  const HWND dialog = thread.Dialog();
  ASSERT_NE(dialog, nullptr);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(thread.ThreadId(), &gui);
  EXPECT_EQ(gui.hwndFocus, ButtonNamed(dialog, "close application"));
  ASSERT_EQ(WaitForSingleObject(fired_event, 20000), WAIT_OBJECT_0);
  EXPECT_EQ(fired, std::vector<int>{6}) << "the countdown pressed close";
}

TEST_F(ExceptBoxTest, SaveToAConfiguredPathRemovesTheSaveButton) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string file = std::string(temp) + "qor-dialog-save.txt";
  DeleteFileA(file.c_str());
  ExceptSettings.BugReportFile.Assign(file);
  handled = false;
  DialogThread thread(request_);
  const HWND dialog = thread.Dialog();
  ASSERT_NE(dialog, nullptr);
  Press(dialog, ButtonNamed(dialog, "save bug report"));
  EXPECT_EQ(ButtonNamed(dialog, "save bug report"), nullptr);
  EXPECT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << "saved, no dialog";
  DeleteFileA(file.c_str());
}

std::string ClipboardText() {
  std::string text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* chars = static_cast<const char*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

TEST_F(ExceptBoxTest, DetailsAtStartShowTheReportAtOnceAndCopyIt) {
  ExceptSettings.ShowDetailsAtStart = true;
  ExceptSettings.AutoClipboard = true;
  ExceptSettings.ButtonCaptions = {"", "", "", "show bug report", "continue application", "", ""};
  DialogThread thread(request_);
  const HWND dialog = thread.Dialog();
  ASSERT_NE(dialog, nullptr);
  RECT rect;
  GetWindowRect(dialog, &rect);
  EXPECT_GE(rect.right - rect.left, 538);
  EXPECT_EQ(ButtonNamed(dialog, "show bug report"), nullptr);
  const HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(IsWindowVisible(edit));
  RECT edit_rect;
  GetWindowRect(edit, &edit_rect);
  EXPECT_LE(edit_rect.bottom, rect.bottom) << "the report box is inside the window";
  EXPECT_EQ(TextOf(edit), request_.report);
  EXPECT_EQ(ClipboardText(), request_.report);
}

// The main thread's side of the freeze probe: it answers at once.
LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP + 7 && wparam) {
    PostMessageA(reinterpret_cast<HWND>(wparam), WM_NULL, 777, 777);
    return 777;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

HWND probe_window = nullptr;

bool PostProbe(void* dialog) {
  return PostMessageA(probe_window, WM_APP + 7, reinterpret_cast<WPARAM>(dialog), 0) != 0;
}

TEST_F(ExceptBoxTest, FrozenDialogClosesWhenTheMainThreadAnswers) {
  const HWND probe = CreateWindowA("STATIC", "probe", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   nullptr, nullptr);
  ASSERT_NE(probe, nullptr);
  SetWindowLongPtrA(probe, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ProbeWindowProc));
  probe_window = probe;
  request_.frozen = true;
  request_.post_probe = PostProbe;
  DialogThread thread(request_);
  EXPECT_TRUE(thread.Ended());
  EXPECT_TRUE(fired.empty()) << "no button was pressed";
  DestroyWindow(probe);
}

TEST_F(ExceptBoxTest, ConsoleProgramWritesTheMessageAndReport) {
  ExceptSettings.ConsoleOutput = true;
  ExceptSettings.ErrorMessage = "Failed:%LF%%exceptMsg%";
  HANDLE read = nullptr, write = nullptr;
  ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 1 << 16));
  OwnedHandle read_end(read), write_end(write);
  const HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, write);
  RunExceptBox(request_);
  SetStdHandle(STD_OUTPUT_HANDLE, previous);
  write_end.reset();
  std::string output(4096, '\0');
  DWORD got = 0;
  ReadFile(read, output.data(), static_cast<DWORD>(output.size()), &got, nullptr);
  output.resize(got);
  EXPECT_EQ(output, "Failed:\r\nDivision by zero\r\n\r\n" + request_.report + "\r\n");
}

TEST(ExceptBoxArtwork, EveryGlyphIsA16x16BitmapWithAlphaAndTheBigIconLoads) {
  const HMODULE program = GetModuleHandleA(nullptr);
  for (const char* name : {"MEIMAIL", "MEISAVE", "MEIPRINT", "MEISHOW", "MEICONTINUE",
                           "MEIRESTART", "MEICLOSE", "MEICANTCONTINUE"}) {
    const HRSRC glyph = FindResourceA(program, name, MAKEINTRESOURCEA(2));  // RT_BITMAP
    ASSERT_NE(glyph, nullptr) << name;
    EXPECT_EQ(SizeofResource(program, glyph), 1064u) << name;
  }
  // The big icon is an icon image kept as raw data; no icon resource of
  // ours may stand beside the program's own.
  EXPECT_EQ(FindResourceA(program, "MEIBIGICON", MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
  const HRSRC big = FindResourceA(program, "MEIBIGICON", MAKEINTRESOURCEA(10));    // RT_RCDATA
  ASSERT_NE(big, nullptr);
  auto* image = static_cast<BYTE*>(LockResource(LoadResource(program, big)));
  const HICON icon = CreateIconFromResourceEx(image, SizeofResource(program, big), TRUE,
                                              0x00030000, 32, 32, LR_DEFAULTCOLOR);
  ASSERT_NE(icon, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour{};
  GetObjectA(info.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, 32);
  EXPECT_EQ(colour.bmHeight, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
}

}  // namespace
}  // namespace qor
