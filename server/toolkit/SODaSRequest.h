#pragma once
// A client's read or write request on a tag. The tag's handleRequest either completes it at
// once or marks it pending and hands it on; whoever finishes it calls complete(). A
// completion callback lets the requester answer asynchronously: it runs exactly once, on the
// thread that completes (possibly with the server's queue lock held), so it must only hand
// the result on: never block, and never take a lock that is held elsewhere while calling
// into groups, items or tags. A request released unfinished answers with E_FAIL.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SOCmnResult.h"
#include "server/toolkit/SOCmnVariant.h"
#include "server/toolkit/SODaSCache.h"
#include "server/toolkit/SODaSQuality.h"

class SODaSTag;

// Operation byte.
inline constexpr std::uint8_t SODASREQUEST_OPERATION_READ = 0;
inline constexpr std::uint8_t SODASREQUEST_OPERATION_WRITE = 1;
// Kind byte (the toolkit's numbering): 21 and 22 read from the device, 1 and 2 from the cache.
inline constexpr std::uint8_t SODASREQUEST_TYPE_SYNC_CACHE = 1;
inline constexpr std::uint8_t SODASREQUEST_TYPE_ASYNC_CACHE = 2;
inline constexpr std::uint8_t SODASREQUEST_TYPE_SYNC_DEVICE = 21;
inline constexpr std::uint8_t SODASREQUEST_TYPE_ASYNC_DEVICE = 22;
inline constexpr std::uint8_t SODASREQUEST_TYPE_SYNC_WRITE = 31;
inline constexpr std::uint8_t SODASREQUEST_TYPE_ASYNC_WRITE = 32;

class SODaSRequest : public SOCmnObject {
 public:
  using CompletionCallback = std::function<void(SODaSRequest& request)>;

  SODaSRequest(std::uint8_t operation, std::uint8_t type, SOCmnPointer<SODaSTag> tag,
               SOCmnVariant writeValue = {});
  ~SODaSRequest() override;

  std::uint8_t getOperation() const { return operation_; }
  std::uint8_t getType() const { return type_; }
  bool isDeviceRead() const;
  SOCmnPointer<SODaSTag> getItemTag() const;  // adds a reference

  // Set before the request is handed to the tag.
  void setCompletionCallback(CompletionCallback callback);

  void markPending();
  bool isPending() const;
  // The value a client writes (VT_EMPTY for reads).
  SOCmnVariant getWriteValue() const;
  bool getWriteValue(SOCmnVariant& value) const;

  // What a read from the device found, set by whoever finishes the read before complete().
  // A requester answers from it rather than from the cache: the cache keeps no current value
  // of a tag that nothing polls. Empty when the completer set none.
  void setReadResult(SODaSCacheSnapshot result);
  std::optional<SODaSCacheSnapshot> getReadResult() const;

  // Ends the request. Success passes (S_OK, false, 0x40, false, true); a failed write passes
  // (E_FAIL, true, quality). With changeCacheValue a successful write also stores the written
  // value in the tag's cache; with notify the completion callback runs. Only the first call
  // counts; later ones return false.
  bool complete(HRESULT result = S_OK, bool validWriteQuality = false,
                std::uint16_t writeQuality = OPC_QUALITY_UNCERTAIN, bool changeCacheValue = false,
                bool notify = true);

  // Ends the request for a requester that gave up on it (it answered its client without
  // the result): completed with E_ABORT, the callback not run. Whoever would have carried it
  // out leaves a completed request alone, so a read or write not sent yet is never sent.
  // False when the request had completed already: its result stands.
  bool cancel() { return complete(E_ABORT, false, OPC_QUALITY_UNCERTAIN, false, false); }

  bool isCompleted() const;
  HRESULT getResult() const;
  bool isWriteQualityValid() const;
  std::uint16_t getWriteQuality() const;
  // For in-process callers that may block: true once completed within timeoutMs.
  bool waitForCompletion(std::uint32_t timeoutMs) const;

 private:
  const std::uint8_t operation_;
  const std::uint8_t type_;
  const SOCmnPointer<SODaSTag> tag_;
  const SOCmnVariant writeValue_;
  mutable std::mutex mutex_;
  mutable std::condition_variable completedCv_;
  CompletionCallback callback_;
  bool pending_ = false;
  bool completed_ = false;
  HRESULT result_ = S_OK;
  bool writeQualityValid_ = false;
  std::uint16_t writeQuality_ = OPC_QUALITY_UNCERTAIN;
  std::optional<SODaSCacheSnapshot> readResult_;
};
