// The single entry through which every failure reaches the crash-report
// core, and the handling thread that processes one request at a time
// (Windows only).
#pragma once

#include <cstdint>
#include <string>

#include "crash/core/except_request.h"

namespace qor {

// Reports a failure. `object` is the exception object (0: the exception
// being handled now, if any), `address` its code address (0: where it was
// raised), `report_out` receives the report instead of the dialog when not
// null; frame and stack pointer 0 mean the caller's. The failing thread
// waits until the request is done; the main thread dispatches its messages
// meanwhile. Never throws.
void ReportException(bool frozen, uint32_t object, uint32_t address, std::string* report_out,
                     uint32_t frame_pointer, uint32_t stack_pointer, bool can_continue);

// Completes an object and address: the exception being handled on this
// thread when none is given, the object dropped when it is not plausible,
// and the address moved to the instruction it belongs to.
void ResolveExceptParams(uint32_t& object, uint32_t& address);

// The pipeline for one request, on the handling thread (or on the
// requester when it holds the loader lock). Never throws.
void ProcessRequest(ExceptRequest& request);

// Starts the handling thread: its pipe, its registry entry "-" and its
// priority. False when the pipe or the thread cannot be made.
bool StartHandlingThread();

// Ends it: a stop record, then at most 500 ms for an idle thread before it
// is terminated; a thread in the middle of a request is waited for.
void StopHandlingThread();

// The handling thread's id; 0 when it does not run.
uint32_t HandlingThreadId();

// Writes `request` to the handling thread's pipe in one piece; false when
// it did not go through whole.
bool WriteRequest(const ExceptRequest& request);

// The last object this thread reported, so that the hidden-exception hook
// also knows a reported object whose message cannot carry ReportedMarker
// (a standard exception that is no Exception of the program).
uint32_t LastReportedObject();

// Waits at most `limit` ms (INFINITE: no limit) for the kernel object
// `object` (a HANDLE) while answering the messages that other threads send
// to this one, so that the handling thread can still run handlers here.
// True when the object was signalled.
bool WaitAnsweringSentMessages(void* object, uint32_t limit);

// Ends the process with exit code 1 through the close action (the system's
// termination when none is installed); does not return.
[[noreturn]] void CloseProcessNow();

// The process's exception object as the core keeps it (the most derived
// address of a polymorphic object).
inline uint32_t ObjectAddress(const void* object) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(object));
}

}  // namespace qor
