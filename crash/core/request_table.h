// The requests of a web-server extension that are being served: for each,
// the server's own support routine, whether the response header went out,
// and the core's copy of the request's control block. Not locked itself:
// the web lock guards every use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qor {

struct TWebRequest {
  uintptr_t ServerSupport = 0;  // the server's routine for this request
  bool HeaderSent = false;
  const void* Copy = nullptr;   // the control block the extension sees
  uint32_t Connection = 0;      // the request's connection id
  const void* Server = nullptr;  // the server's own control block
};

class RequestTable {
 public:
  static constexpr size_t kFirstCapacity = 64;

  // Appends a request whose header is not sent yet; returns its index,
  // which stays a hint: later removals may move the entry.
  size_t Add(uintptr_t server_support, const void* copy, uint32_t connection,
             const void* server);

  // The entry of a connection; null when none is served.
  TWebRequest* FindConnection(uint32_t connection);

  // The entry of a copy, tried first at `hint`; null when it is gone.
  TWebRequest* FindCopy(const void* copy, size_t hint);

  // Takes the entry of `copy` out (the last entry moves into its place)
  // and returns whether its header was sent; false when it is not there.
  bool Remove(const void* copy, size_t hint);

  size_t Count() const { return count_; }
  // Entries allocated: 64 at first, doubled each time the table is full.
  size_t Capacity() const { return entries_.size(); }

 private:
  std::vector<TWebRequest> entries_;
  size_t count_ = 0;
};

}  // namespace qor
