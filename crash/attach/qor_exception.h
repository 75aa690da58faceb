// The crash-report library's own exception class. It deliberately does not
// derive from std::exception or the application's exception base, so the
// core can tell its own errors apart by class.
#pragma once

#include <string>
#include <utility>

namespace qor {

class QorException {
 public:
  explicit QorException(std::string message) : Message(std::move(message)) {}
  QorException(const QorException&) = default;
  QorException& operator=(const QorException&) = default;
  // Virtual, so that the crash-report core finds the class of an object it
  // was handed as a bare pointer, as it does for every other exception.
  virtual ~QorException() = default;

  std::string Message;
};

// A compressor or inflater failed to write to its file.
inline constexpr char kStreamWriteErrorText[] = "Stream write error.";
// The runtime halted with an error whose formatted text is not available.
inline constexpr char kRuntimeErrorText[] = "Runtime error";
// A failure arrived that carries no exception object.
inline constexpr char kUnknownExceptionText[] =
    "Unknown exception. If you want to know more, you have to add SysUtils to your project.";

}  // namespace qor
