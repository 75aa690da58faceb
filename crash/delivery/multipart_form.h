// HTML form uploads as "multipart/form-data" (RFC 7578): text fields and
// files in one body, each part under a boundary that none of them contains.
#pragma once

#include <string>
#include <vector>

namespace qor {

struct FormPart {
  std::string name;
  // Empty for a text field; a file's name otherwise.
  std::string file_name;
  // Sent for files only ("application/octet-stream" when empty).
  std::string content_type;
  std::string bytes;
};

struct MultipartForm {
  // "multipart/form-data; boundary=..." for the request's header.
  std::string content_type;
  std::string body;
};

// The boundary for `parts`: 4 to 70 characters that occur in no part's
// name, file name, content type or bytes. The same parts give the same
// boundary.
std::string FormBoundary(const std::vector<FormPart>& parts);

// The body of a form holding `parts` in order. Quotes, carriage returns
// and line feeds in names are sent percent-encoded, as browsers do.
MultipartForm BuildMultipartForm(const std::vector<FormPart>& parts);

}  // namespace qor
