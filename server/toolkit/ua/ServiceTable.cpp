#include "server/toolkit/ua/ServiceTable.h"

namespace zentarc::ua {

ReplyBase::ReplyBase(std::weak_ptr<ResponseSink> sink, uint64_t connectionId, uint32_t requestId,
                     uint32_t requestHandle)
    : state_(std::make_shared<State>()) {
  state_->sink = std::move(sink);
  state_->connectionId = connectionId;
  state_->requestId = requestId;
  state_->requestHandle = requestHandle;
}

void ReplyBase::fill(ResponseHeader& h) const {
  if (!state_) return;
  if (h.requestHandle == 0) h.requestHandle = state_->requestHandle;
  if (h.timestamp.ticks == 0) h.timestamp = DateTime::now();
}

void ReplyBase::send(std::string body) const {
  if (!state_ || state_->done.exchange(true)) return;  // a request is answered once
  if (auto sink = state_->sink.lock()) sink->sendResponse(state_->connectionId, state_->requestId, std::move(body));
}

void ReplyBase::fault(StatusCode status) const {
  if (!state_ || state_->done) return;
  if (state_->onFault) state_->onFault(status);
  send(encodeServiceFault(state_->requestHandle, status));
}

}  // namespace zentarc::ua
