#include "web/current_message.h"

#include <exception>

#include "runtime/exceptions.h"

namespace web {

std::string CurrentExceptionMessage() {
  try {
    throw;
  } catch (const runtime::Exception& e) {
    return e.Message;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

}  // namespace web
