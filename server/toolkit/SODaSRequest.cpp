#include "server/toolkit/SODaSRequest.h"

#include <chrono>

#include "server/toolkit/SODaSTag.h"

SODaSRequest::SODaSRequest(std::uint8_t operation, std::uint8_t type, SOCmnPointer<SODaSTag> tag,
                           SOCmnVariant writeValue)
    : operation_(operation), type_(type), tag_(std::move(tag)), writeValue_(std::move(writeValue)) {}

SODaSRequest::~SODaSRequest() {
  // A request dropped unfinished (e.g. queues freed at shut-down) still answers its
  // requester, so no client waits forever.
  CompletionCallback callback;
  {
    std::lock_guard g(mutex_);
    if (!completed_) {
      completed_ = true;
      result_ = E_FAIL;
      callback = std::move(callback_);
    }
  }
  if (callback) callback(*this);
}

bool SODaSRequest::isDeviceRead() const {
  return operation_ == SODASREQUEST_OPERATION_READ &&
         (type_ == SODASREQUEST_TYPE_SYNC_DEVICE || type_ == SODASREQUEST_TYPE_ASYNC_DEVICE);
}

SOCmnPointer<SODaSTag> SODaSRequest::getItemTag() const { return tag_; }

void SODaSRequest::setCompletionCallback(CompletionCallback callback) {
  std::lock_guard g(mutex_);
  callback_ = std::move(callback);
}

void SODaSRequest::markPending() {
  std::lock_guard g(mutex_);
  if (!completed_) pending_ = true;
}

bool SODaSRequest::isPending() const {
  std::lock_guard g(mutex_);
  return pending_;
}

SOCmnVariant SODaSRequest::getWriteValue() const { return writeValue_; }

bool SODaSRequest::getWriteValue(SOCmnVariant& value) const {
  value = writeValue_;
  return operation_ == SODASREQUEST_OPERATION_WRITE;
}

void SODaSRequest::setReadResult(SODaSCacheSnapshot result) {
  std::lock_guard g(mutex_);
  readResult_ = std::move(result);
}

std::optional<SODaSCacheSnapshot> SODaSRequest::getReadResult() const {
  std::lock_guard g(mutex_);
  return readResult_;
}

bool SODaSRequest::complete(HRESULT result, bool validWriteQuality, std::uint16_t writeQuality,
                            bool changeCacheValue, bool notify) {
  CompletionCallback callback;
  {
    std::lock_guard g(mutex_);
    if (completed_) return false;
    completed_ = true;
    pending_ = false;
    result_ = result;
    writeQualityValid_ = validWriteQuality;
    writeQuality_ = writeQuality;
    if (notify) callback = std::move(callback_);
    callback_ = nullptr;
  }
  if (changeCacheValue && operation_ == SODASREQUEST_OPERATION_WRITE && SUCCEEDED(result) && tag_)
    tag_->getCache()->setValue(writeValue_);
  completedCv_.notify_all();
  if (callback) callback(*this);
  return true;
}

bool SODaSRequest::isCompleted() const {
  std::lock_guard g(mutex_);
  return completed_;
}

HRESULT SODaSRequest::getResult() const {
  std::lock_guard g(mutex_);
  return result_;
}

bool SODaSRequest::isWriteQualityValid() const {
  std::lock_guard g(mutex_);
  return writeQualityValid_;
}

std::uint16_t SODaSRequest::getWriteQuality() const {
  std::lock_guard g(mutex_);
  return writeQuality_;
}

bool SODaSRequest::waitForCompletion(std::uint32_t timeoutMs) const {
  std::unique_lock l(mutex_);
  return completedCv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [this] { return completed_; });
}
