#include "crash/delivery/multipart_form.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include "crash/attach/gzip_stream.h"

namespace qor {
namespace {

TEST(MultipartForm, FieldsAndFilesInOrderUnderOneBoundary) {
  const std::vector<FormPart> parts = {
      {"prod", "", "", "Uninstall"},
      {"upload_file_minidump", "a.dmp", "application/octet-stream", std::string("MD\0\r\n", 5)},
      {"report", "r.txt", "", "text"},
  };
  const MultipartForm form = BuildMultipartForm(parts);
  const std::string b = FormBoundary(parts);
  EXPECT_EQ(form.content_type, "multipart/form-data; boundary=" + b);
  EXPECT_EQ(form.body,
            "--" + b + "\r\nContent-Disposition: form-data; name=\"prod\"\r\n\r\nUninstall\r\n" +
                "--" + b +
                "\r\nContent-Disposition: form-data; name=\"upload_file_minidump\"; "
                "filename=\"a.dmp\"\r\nContent-Type: application/octet-stream\r\n\r\n" +
                std::string("MD\0\r\n", 5) + "\r\n--" + b +
                "\r\nContent-Disposition: form-data; name=\"report\"; filename=\"r.txt\"\r\n"
                "Content-Type: application/octet-stream\r\n\r\ntext\r\n--" + b + "--\r\n");
  EXPECT_LE(b.size(), 70u);
}

TEST(MultipartForm, BoundaryAvoidsEveryCandidateThePartsContain) {
  // Parts that hold the boundaries the builder would otherwise choose.
  std::vector<FormPart> parts = {{"f", "x.bin", "", "payload"}};
  for (int round = 0; round < 4; ++round) {
    const std::string taken = FormBoundary(parts);
    parts.push_back({"g" + std::to_string(round), "", "", "--" + taken + "\r\n"});
    // Adding a part changes the hash; put every earlier choice in too.
    parts.front().bytes += taken;
  }
  const std::string boundary = FormBoundary(parts);
  for (const FormPart& part : parts) EXPECT_EQ(part.bytes.find(boundary), std::string::npos);
  EXPECT_EQ(FormBoundary(parts), boundary);
}

TEST(MultipartForm, QuotesAndLineEndsInNamesCannotEndTheHeader) {
  const MultipartForm form = BuildMultipartForm({{"a\"b", "x\r\nContent-Type: evil", "", "v"}});
  EXPECT_NE(form.body.find("name=\"a%22b\"; filename=\"x%0D%0AContent-Type: evil\""),
            std::string::npos);
  EXPECT_EQ(form.body.find("\r\nContent-Type: evil"), std::string::npos);
}

TEST(GzipStream, InflatesBackToTheInput) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += static_cast<char>(i * 31 % 251);
  const std::string packed = GzipCompress(text);
  ASSERT_GE(packed.size(), 18u);
  EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x1f);
  EXPECT_EQ(static_cast<unsigned char>(packed[1]), 0x8b);
  z_stream z{};
  ASSERT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  std::string out(text.size() + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  EXPECT_EQ(out, text);
}

}  // namespace
}  // namespace qor
