// The program's exception classes. Exception carries the text that the user
// sees; every other std::exception counts as an Exception whose message is
// what().
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace runtime {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }

  std::string Message;
};

// Silent exception: unwinds without a report or a message box.
class EAbort : public Exception {
 public:
  using Exception::Exception;
};

// A failed system call; Message is the system's own text for ErrorCode.
class EOSError : public Exception {
 public:
  EOSError(std::string message, uint32_t error_code)
      : Exception(std::move(message)), ErrorCode(error_code) {}

  uint32_t ErrorCode;
};

}  // namespace runtime
