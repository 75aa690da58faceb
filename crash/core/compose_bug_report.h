// The report's entry as the handling pipeline calls it (Windows only): the
// request's exception object and address resolved into what the report
// shows, then the text composed.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

// Fills `report` for one request; never throws. `context` is reserved.
void ComposeBugReport(bool frozen, uint32_t object, uint32_t address, std::string& report,
                      uint32_t context, bool show_progress, uint32_t frame_pointer,
                      uint32_t stack_pointer, uint32_t thread_id);

}  // namespace qor
