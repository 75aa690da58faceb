// A CGI program: the web server starts it for one request, and what it
// writes to standard output is the HTTP response.
#pragma once

namespace web {

class CgiApplication {
 public:
  // Writes the response (headers, an empty line, the body) to standard
  // output.
  using Handler = void (*)();

  static CgiApplication& Instance();

  // Serves the request; an exception that escapes the handler goes to
  // HandleException. Returns the program's exit code: 0, or 1 after a
  // failure.
  int Run(Handler handler);

  // Called inside the catch block of a failed request: answers with status
  // 500 and the exception's message as plain text. The crash-report core
  // takes this routine over when it is configured to.
  void HandleException();

 private:
  CgiApplication() = default;
};

}  // namespace web
