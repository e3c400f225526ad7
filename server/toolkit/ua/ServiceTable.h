#pragma once
// The service table: request encoding id -> handler, one signature for all. A handler gets
// the decoded request, its context and a Reply; it may answer at once or later, from any
// thread (Publish waits for notifications): the Reply encodes the response and queues it for
// the connection's IO thread. A Reply whose connection is gone drops the answer.
#include <atomic>
#include <functional>
#include <memory>
#include <unordered_map>

#include "server/toolkit/ua/ServicesCommon.h"
#include "server/toolkit/ua/Session.h"
#include "server/toolkit/ua/security/ServerSecurity.h"

namespace zentarc::ua {

struct RequestContext {
  std::shared_ptr<Session> session;  // null for services that need no session
  uint64_t connectionId = 0;
  uint32_t channelId = 0;
  uint32_t requestId = 0;
  RequestHeader requestHeader;
  std::shared_ptr<const ChannelInfo> channel;  // policy, mode, client certificate, peer
};

// Where encoded responses go. Thread-safe; implemented by the server.
class ResponseSink {
 public:
  virtual ~ResponseSink() = default;
  // `body` is the encoding id NodeId followed by the encoded response.
  virtual void sendResponse(uint64_t connectionId, uint32_t requestId, std::string body) = 0;
};

// Encodes a service response body: encoding id, then the structure.
template <typename Resp>
std::string encodeServiceMessage(const Resp& r) {
  std::string out;
  Encoder e(out);
  e.write(NodeId(0, Resp::kEncodingId));
  e.write(r);
  return out;
}

// Answers one request exactly once; copies share that "once".
class ReplyBase {
 public:
  ReplyBase() = default;
  ReplyBase(std::weak_ptr<ResponseSink> sink, uint64_t connectionId, uint32_t requestId,
            uint32_t requestHandle);
  void fault(StatusCode status) const;
  // Has `observer` told of the status this request is refused with, should it be (set
  // before the handler runs; copies share it).
  void observeFaults(std::function<void(StatusCode)> observer) const {
    if (state_) state_->onFault = std::move(observer);
  }
  bool answered() const { return !state_ || state_->done; }
  uint32_t requestHandle() const { return state_ ? state_->requestHandle : 0; }
  uint64_t connectionId() const { return state_ ? state_->connectionId : 0; }

 protected:
  void fill(ResponseHeader& h) const;
  void send(std::string body) const;

 private:
  struct State {
    std::weak_ptr<ResponseSink> sink;
    uint64_t connectionId = 0;
    uint32_t requestId = 0;
    uint32_t requestHandle = 0;
    mutable std::atomic<bool> done{false};
    std::function<void(StatusCode)> onFault;
  };
  std::shared_ptr<State> state_;
};

template <typename Resp>
class Reply : public ReplyBase {
 public:
  using ReplyBase::ReplyBase;
  explicit Reply(const ReplyBase& b) : ReplyBase(b) {}
  // Sets requestHandle and timestamp (unless already set) and sends.
  void operator()(Resp response) const {
    fill(response.responseHeader);
    send(encodeServiceMessage(response));
  }
};

class ServiceTable {
 public:
  enum class Needs { Nothing, ActivatedSession };
  using RawHandler = std::function<void(RequestContext&, Decoder&, const ReplyBase&)>;
  struct Entry {
    Needs needs = Needs::ActivatedSession;
    RawHandler handler;
  };

  // Registers the handler for Req; it answers with Resp. A later add for the same Req
  // replaces the earlier one.
  template <typename Req, typename Resp>
  void add(std::function<void(RequestContext&, Req&, const Reply<Resp>&)> handler,
           Needs needs = Needs::ActivatedSession) {
    entries_[Req::kEncodingId] = Entry{
        needs, [h = std::move(handler)](RequestContext& ctx, Decoder& d, const ReplyBase& r) {
          Req req;
          d.read(req);
          ctx.requestHeader = req.requestHeader;
          h(ctx, req, Reply<Resp>(r));
        }};
  }
  const Entry* find(uint32_t encodingId) const {
    auto it = entries_.find(encodingId);
    return it == entries_.end() ? nullptr : &it->second;
  }

 private:
  std::unordered_map<uint32_t, Entry> entries_;
};

}  // namespace zentarc::ua
