#include "crash/delivery/mapi_request.h"

#include "crash/attach/list_text.h"

namespace qor {

MapiRequest PrepareMapiRequest(std::string_view recipients, std::string_view attachments,
                               bool silent) {
  MapiRequest request;
  const std::string list = NormaliseRecipients(recipients);
  for (size_t i = 1; i <= ListCount(list, ','); ++i) {
    request.recipients.push_back(SplitMailAddress(ListItem(list, i, ',')));
  }
  std::string files(attachments);
  TidyList(files, '|');
  for (size_t i = 1; i <= ListCount(files, '|'); ++i) request.files.push_back(ListItem(files, i, '|'));
  request.flags = silent && !request.recipients.empty() ? 0 : kMapiLogonUi | kMapiDialog;
  return request;
}

}  // namespace qor
