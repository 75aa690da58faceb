// Capture of the whole screen (all monitors, with the mouse cursor) for a
// bug report (Windows only).
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace qor {

// The PNG of the virtual screen (the primary screen on systems without
// multi-monitor support) in the form `mode` asks for (see EncodeScreenshot);
// the crash-report core calls this with its screenshot mode and stores the
// result as kScreenshotFileName. Empty when the display, a memory context,
// the bitmap or the copy from the screen fails, or nothing could be encoded.
std::vector<uint8_t> CaptureScreenPng(int mode);

// Draws the current mouse cursor at its natural size into `dc`, whose
// pixel (0, 0) shows the screen point `origin`. Draws nothing when no
// cursor is showing or none can be found.
void DrawMouseCursor(HDC dc, POINT origin);

}  // namespace qor
