// What a failing thread hands to the handling thread, and the times of the
// handled requests.
#pragma once

#include <cstdint>
#include <string_view>

#include "crash/core/settings.h"

namespace qor {

// One request, written and read through the handling thread's pipe as one
// 40-byte unit. Every field is a 32-bit slot; a flag uses the low byte.
struct ExceptRequest {
  uint32_t DoneEvent;      // manual-reset event (HANDLE); 0 asks the thread to end
  uint32_t ThreadId;       // the requesting thread
  uint32_t Frozen;         // 1 for a frozen main thread
  uint32_t ExceptObject;   // the exception object (most derived), or 0
  uint32_t ExceptAddress;  // code address of the failure, or 0
  uint32_t CanContinue;    // 1 when the program may go on; only ever lowered
  uint32_t StackPointer;   // where the stack walk starts
  uint32_t FramePointer;
  uint32_t ReportOut;  // std::string* that receives the report instead of the dialog, or 0
  uint32_t Context;    // reserved, always 0
};
static_assert(sizeof(ExceptRequest) == 40, "the pipe carries exactly 40 bytes per request");

// The times of the last ten handled requests, newest first: read by the
// automatic-action rule and handed over to a restarted process.
extern TExceptTimes ExceptTimes;

// Moves every time one place towards the old end (the oldest falls out) and
// stores `now` as the newest.
void ShiftExceptTimes(TExceptTimes& times, uint64_t now);

// The message an exception object gets once it was reported, so that the
// hidden-exception hook does not report it again: one NUL character.
inline constexpr std::string_view ReportedMarker{"\0", 1};

}  // namespace qor
