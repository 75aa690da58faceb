#include "crash/delivery/multipart_form.h"

#include <cstdint>

namespace qor {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool OccursIn(const std::vector<FormPart>& parts, const std::string& text) {
  for (const FormPart& part : parts) {
    for (const std::string* field : {&part.name, &part.file_name, &part.content_type, &part.bytes}) {
      if (field->find(text) != std::string::npos) return true;
    }
  }
  return false;
}

// FNV-1a over every part, so that the first candidate already depends on
// the content and rarely needs a second try.
uint64_t ContentHash(const std::vector<FormPart>& parts) {
  uint64_t hash = 14695981039346656037ull;
  for (const FormPart& part : parts) {
    for (const char c : part.bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash;
}

std::string Candidate(uint64_t value) {
  std::string boundary = "qor-form-";
  for (int shift = 60; shift >= 0; shift -= 4) boundary += kHexDigits[(value >> shift) & 15];
  return boundary;
}

// A quoted-string value with the three characters that would end it or the
// header line replaced by their percent codes.
std::string QuotedName(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"') {
      quoted += "%22";
    } else if (c == '\r') {
      quoted += "%0D";
    } else if (c == '\n') {
      quoted += "%0A";
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace

std::string FormBoundary(const std::vector<FormPart>& parts) {
  // Each candidate differs from the last, and a body cannot contain all of
  // them (every one that occurs takes at least 25 of its bytes).
  uint64_t value = ContentHash(parts);
  std::string boundary = Candidate(value);
  while (OccursIn(parts, boundary)) boundary = Candidate(value += 0x9E3779B97F4A7C15ull);
  return boundary;
}

MultipartForm BuildMultipartForm(const std::vector<FormPart>& parts) {
  const std::string boundary = FormBoundary(parts);
  MultipartForm form;
  form.content_type = "multipart/form-data; boundary=" + boundary;
  for (const FormPart& part : parts) {
    form.body += "--" + boundary + "\r\nContent-Disposition: form-data; name=" +
                 QuotedName(part.name);
    if (!part.file_name.empty()) {
      form.body += "; filename=" + QuotedName(part.file_name) + "\r\nContent-Type: " +
                   (part.content_type.empty() ? "application/octet-stream" : part.content_type);
    }
    form.body += "\r\n\r\n" + part.bytes + "\r\n";
  }
  form.body += "--" + boundary + "--\r\n";
  return form;
}

}  // namespace qor
