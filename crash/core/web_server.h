// The crash-report core in programs that a web server runs (Windows only).
// An ISAPI extension's requests are wrapped: the core copies each request's
// control block, learns from the calls back to the server whether the
// response header went out, and answers a failed request with the HTML
// error page and its report. A CGI program writes the page to standard
// output instead of showing the dialog.
#pragma once

#include <string>

namespace qor {

// Patches the CGI and ISAPI exception handlers that the settings name and,
// when they name the extension's entry, redirects its export to the
// wrapper, creates the web lock and switches web-server mode on.
void InstallWebServerHooks();
// Switches the mode off and deletes the lock (the patches go with
// RestorePatches).
void RemoveWebServerHooks();

// True when a failure of this program goes to standard output as a CGI
// response: a console program, console output on, a CGI handler named.
bool CgiOutputApplies();
// Writes the CGI response with the error page of `report` to standard
// output.
void WriteCgiErrorPage(const std::string& report);

}  // namespace qor
