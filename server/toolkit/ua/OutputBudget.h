#pragma once
// What answers waiting to go out may take in memory: one budget for the whole server, and a
// share of it per client. It counts the bytes connections have not sent yet and the answers
// under way (a read from the device), which reserve their size before the work starts.
#include <string>

#include "server/toolkit/ua/StatusCodes.h"

namespace zentarc::ua {

class OutputBudget {
 public:
  virtual ~OutputBudget() = default;
  // Room for an answer of about `bytes` to `client`: Good (reserved until release()), or
  // the status to refuse the request with: BadResponseTooLarge for an answer larger than a
  // connection may hold, BadTooManyOperations when the client has taken its share,
  // BadResourceUnavailable when the server's budget is spent even after dropping the
  // connections that read nothing.
  virtual StatusCode reserve(const std::string& client, size_t bytes) = 0;
  virtual void release(const std::string& client, size_t bytes) = 0;
};

}  // namespace zentarc::ua
