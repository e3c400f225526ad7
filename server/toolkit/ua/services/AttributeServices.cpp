// Read and Write. Values from the cache are answered at once; reads from the device and
// writes are toolkit requests on the tag, answered when the last of them completes (or when
// the request's time is up).
#include <algorithm>
#include <cmath>

#include "server/toolkit/ua/services/AttributeRead.h"
#include "server/toolkit/ua/services/UaServices.h"
#include "server/toolkit/ua/services/ValueMapping.h"

namespace zentarc::ua {

struct UaServices::DeviceOperation {
  enum class Kind { Read, Write } kind = Kind::Read;
  ReplyBase reply;
  TimestampsToReturn timestamps = TimestampsToReturn::Both;
  std::vector<DataValue> values;         // Read: one per node; filled at the end
  std::vector<StatusCode> statuses;      // Write: one per node
  std::vector<const Node*> deviceNodes;  // Read: the node of each value, null when done
  std::vector<SOCmnPointer<SODaSRequest>> requests;  // index -> request (null: none)
  size_t outstanding = 0;
  SteadyTime deadline{};
  bool finished = false;
  std::shared_ptr<SessionState> session;  // whose count of open operations it is in
  uint64_t connectionId = 0;              // where the answer goes
  size_t reservedOutput = 0;              // room for the answer in the output budget
};

namespace {

StatusCode statusForWrite(const SODaSRequest& request) {
  const HRESULT r = request.getResult();
  if (SUCCEEDED(r)) return Status::Good;
  if (r == OPC_E_BADRIGHTS) return Status::BadNotWritable;
  if (r == OPC_E_BADTYPE) return Status::BadTypeMismatch;
  if (r == OPC_E_RANGE) return Status::BadOutOfRange;
  if (request.isWriteQualityValid()) {
    const StatusCode s = statusForQuality(request.getWriteQuality());
    if (s.isBad()) return s;
  }
  return Status::Bad;
}

// What the values of a Read will take in memory, from the nodes' sizes.
size_t readResponseBytes(const AddressSpace& space, const std::vector<ReadValueId>& nodes) {
  size_t total = 0;
  for (const ReadValueId& r : nodes) {
    const Node* node = space.find(r.nodeId);
    total += node && r.attributeId == static_cast<uint32_t>(AttributeId::Value) && node->valueBytes
                 ? node->valueBytes
                 : sizeof(DataValue);
  }
  return total;
}

// Bytes of one element of a tag's type on the wire.
size_t elementBytes(const NodeId& dataType) {
  switch (dataType.namespaceIndex == 0 && dataType.isNumeric() ? dataType.numericId() : 0) {
    case Id::Boolean: case Id::SByte: case Id::Byte: return 1;
    case Id::Int16: case Id::UInt16: return 2;
    case Id::Int32: case Id::UInt32: case Id::Float: return 4;
    default: return 8;
  }
}

// What the answer to a Read will take encoded, about: the figure the output budget counts.
size_t readAnswerBytes(const AddressSpace& space, const std::vector<ReadValueId>& nodes) {
  constexpr size_t kPerValue = 40;  // encoding mask, status, timestamps, variant and array headers
  size_t total = 64;                // the response header
  for (const ReadValueId& r : nodes) {
    total += kPerValue;
    const Node* node = space.find(r.nodeId);
    if (!node || !node->tag || r.attributeId != static_cast<uint32_t>(AttributeId::Value)) continue;
    if (node->valueRank == 1) total += size_t{node->arrayLength} * elementBytes(node->dataType);
    else if (node->valueBytes > sizeof(DataValue)) total += node->valueBytes - sizeof(DataValue);
  }
  return total;
}

// Answers below this size are not worth a reservation: a client that leaves them unread is
// paused long before they add up.
constexpr size_t kReservedFrom = 64 * 1024;

bool validTimestamps(TimestampsToReturn t) {
  return t >= TimestampsToReturn::Source && t <= TimestampsToReturn::Neither;
}

// How long a Read from the device or a Write may wait for its PLCs before it is answered
// with what has come. A client drops an answer that comes after its timeoutHint, and with it
// every value that had arrived: so the answer goes a little before the hint (a tenth of it,
// 100 ms to 1 s), or at the server's own bound when the hint is longer or none is given.
std::chrono::milliseconds answerWithin(uint32_t hint, uint32_t fallback, uint32_t most) {
  if (hint == 0) return std::chrono::milliseconds(fallback);
  if (hint >= most) return std::chrono::milliseconds(most);
  const uint32_t margin = std::clamp(hint / 10, 100u, 1000u);
  return std::chrono::milliseconds(hint > 2 * margin ? hint - margin : hint / 2);
}

}  // namespace

void UaServices::read(RequestContext& ctx, ReadRequest& req, const Reply<ReadResponse>& reply) {
  if (req.nodesToRead.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.nodesToRead.size() > limits_.maxNodesPerRead) return reply.fault(Status::BadTooManyOperations);
  if (req.maxAge < 0 || std::isnan(req.maxAge)) return reply.fault(Status::BadMaxAgeInvalid);
  if (!validTimestamps(req.timestampsToReturn)) return reply.fault(Status::BadTimestampsToReturnInvalid);
  // A few bytes of request can name a large array tag thousands of times.
  if (readResponseBytes(space_, req.nodesToRead) > limits_.maxReadResponseBytes)
    return reply.fault(Status::BadResponseTooLarge);
  // A large answer takes its room in the output budget before it is made.
  const std::string& client = sessionState(ctx).client;
  const size_t answerBytes = readAnswerBytes(space_, req.nodesToRead);
  size_t reserved = 0;
  if (output_ && answerBytes >= kReservedFrom) {
    const StatusCode room = output_->reserve(client, answerBytes);
    if (!room.isGood()) return reply.fault(room);
    reserved = answerBytes;
  }

  ReadResponse resp;
  resp.results.resize(req.nodesToRead.size());
  std::shared_ptr<DeviceOperation> op;
  const auto wallNow = std::chrono::system_clock::now();
  const DateTime serverNow = toDateTime(wallNow);
  for (size_t i = 0; i < req.nodesToRead.size(); ++i) {
    const ReadValueId& r = req.nodesToRead[i];
    const Node* node = space_.find(r.nodeId);
    if (!node) {
      resp.results[i].status = Status::BadNodeIdUnknown;
      continue;
    }
    if (!r.dataEncoding.name.empty()) {
      resp.results[i].status = r.attributeId == static_cast<uint32_t>(AttributeId::Value)
                                   ? Status::BadDataEncodingUnsupported
                                   : Status::BadDataEncodingInvalid;
      continue;
    }
    // Values with an index range are served from the cache.
    const bool valueOfTag = node->tag && r.attributeId == static_cast<uint32_t>(AttributeId::Value) &&
                            (node->accessLevel & kAccessCurrentRead) && r.indexRange.empty();
    if (!valueOfTag) {
      resp.results[i] = readAttribute(*node, r.attributeId, r.indexRange, req.timestampsToReturn);
      // What this session's user may do: a reader never writes.
      if (r.attributeId == static_cast<uint32_t>(AttributeId::UserAccessLevel) && !ctx.session->mayWrite &&
          resp.results[i].value)
        resp.results[i].value = Variant::of(static_cast<uint8_t>(node->accessLevel & ~kAccessCurrentWrite));
      continue;
    }
    // A fresh value is wanted with maxAge 0, or when the cache is older than maxAge.
    SODaSCacheSnapshot snap = node->cache->getSnapshot();
    const auto age = std::chrono::duration<double, std::milli>(wallNow - snap.timeStamp);
    if (req.maxAge != 0 && !snap.waitingForInitialData && age.count() <= req.maxAge) {
      resp.results[i] = tagValueFrom(snap, req.timestampsToReturn, serverNow);
      continue;
    }
    if (!op) {
      op = std::make_shared<DeviceOperation>();
      op->reply = reply;
      op->timestamps = req.timestampsToReturn;
      op->deviceNodes.assign(req.nodesToRead.size(), nullptr);
      op->requests.resize(req.nodesToRead.size());
    }
    op->deviceNodes[i] = node;
  }
  if (!op) {
    reply(std::move(resp));
    if (reserved) output_->release(client, reserved);
    return;
  }
  // Device reads reserve room for their answer however small: they wait, and add up.
  if (output_ && !reserved) {
    const StatusCode room = output_->reserve(client, answerBytes);
    if (!room.isGood()) return reply.fault(room);
    reserved = answerBytes;
  }
  op->reservedOutput = reserved;
  if (!admitDeviceOperation(ctx, *op)) {
    if (reserved) output_->release(client, reserved);
    return;
  }

  op->values = std::move(resp.results);
  // One extra count until every request is out, so an at-once completion cannot finish early.
  op->outstanding = 1;
  deviceOperations_.push_back(op);
  std::weak_ptr<bool> alive = alive_;
  for (size_t i = 0; i < op->deviceNodes.size(); ++i) {
    const Node* node = op->deviceNodes[i];
    if (!node) continue;
    ++op->outstanding;
    std::weak_ptr<DeviceOperation> weak = op;
    op->requests[i] = node->tag->submitRead(
        SODASREQUEST_TYPE_ASYNC_DEVICE, [this, weak, alive, post = post_](SODaSRequest&) {
          post([this, weak, alive] {
            auto o = weak.lock();
            if (!o || !alive.lock() || o->finished) return;
            if (--o->outstanding == 0) readyToFinish(o);
          });
        });
  }
  if (--op->outstanding == 0) readyToFinish(op);
}

void UaServices::write(RequestContext& ctx, WriteRequest& req, const Reply<WriteResponse>& reply) {
  if (req.nodesToWrite.empty()) return reply.fault(Status::BadNothingToDo);
  if (req.nodesToWrite.size() > limits_.maxNodesPerWrite) return reply.fault(Status::BadTooManyOperations);

  auto op = std::make_shared<DeviceOperation>();
  op->kind = DeviceOperation::Kind::Write;
  op->reply = reply;
  op->statuses.assign(req.nodesToWrite.size(), Status::Good);
  op->requests.resize(req.nodesToWrite.size());
  std::vector<SOCmnVariant> values(req.nodesToWrite.size());
  std::vector<const Node*> targets(req.nodesToWrite.size(), nullptr);
  for (size_t i = 0; i < req.nodesToWrite.size(); ++i) {
    const WriteValue& w = req.nodesToWrite[i];
    const Node* node = space_.find(w.nodeId);
    StatusCode& s = op->statuses[i];
    if (!node) { s = Status::BadNodeIdUnknown; continue; }
    if (!hasAttribute(*node, w.attributeId)) { s = Status::BadAttributeIdInvalid; continue; }
    if (w.attributeId != static_cast<uint32_t>(AttributeId::Value) || !node->tag ||
        !(node->accessLevel & kAccessCurrentWrite)) {
      s = Status::BadNotWritable;
      continue;
    }
    if (!ctx.session->mayWrite) {
      s = Status::BadUserAccessDenied;  // the node could be written, but not by this user
      continue;
    }
    if (!w.indexRange.empty()) {
      uint32_t a = 0, b = 0;
      s = parseIndexRange(w.indexRange, a, b) ? Status::BadWriteNotSupported
                                               : Status::BadIndexRangeInvalid;
      continue;
    }
    if (!w.value.value) { s = Status::BadTypeMismatch; continue; }
    const uint32_t count = node->valueRank == 1 ? node->arrayLength : 0;
    s = fromVariant(*w.value.value, node->tag->getNativeDatatype(), count, values[i]);
    if (s.isGood()) targets[i] = node;
  }

  if (!admitDeviceOperation(ctx, *op)) return;
  op->outstanding = 1;
  deviceOperations_.push_back(op);
  std::weak_ptr<bool> alive = alive_;
  for (size_t i = 0; i < targets.size(); ++i) {
    if (!targets[i]) continue;
    ++op->outstanding;
    std::weak_ptr<DeviceOperation> weak = op;
    op->requests[i] = targets[i]->tag->submitWrite(
        values[i], [this, weak, alive, post = post_](SODaSRequest&) {
          post([this, weak, alive] {
            auto o = weak.lock();
            if (!o || !alive.lock() || o->finished) return;
            if (--o->outstanding == 0) readyToFinish(o);
          });
        });
  }
  if (--op->outstanding == 0) readyToFinish(op);
}

bool UaServices::admitDeviceOperation(RequestContext& ctx, DeviceOperation& op) {
  SessionState& state = sessionState(ctx);
  if (state.deviceOperations >= limits_.maxDeviceOperationsPerSession || !devicePool_.take(state.client, 1)) {
    op.reply.fault(Status::BadTooManyOperations);
    return false;
  }
  ++state.deviceOperations;
  op.session = sessions_[state.sessionId];
  op.connectionId = ctx.connectionId;
  const bool read = op.kind == DeviceOperation::Kind::Read;
  op.deadline = now() + answerWithin(ctx.requestHeader.timeoutHint,
                                     read ? limits_.defaultDeviceReadTimeoutMs : limits_.defaultDeviceTimeoutMs,
                                     limits_.maxDeviceTimeoutMs);
  return true;
}

bool UaServices::endDeviceOperation(DeviceOperation& op) {
  if (op.finished) return false;
  op.finished = true;
  std::erase_if(deviceOperations_, [&op](const auto& o) { return o.get() == &op; });
  if (op.session) {
    if (op.session->deviceOperations > 0) --op.session->deviceOperations;
    devicePool_.give(op.session->client, 1);
    if (op.reservedOutput && output_) output_->release(op.session->client, op.reservedOutput);
  }
  op.reservedOutput = 0;
  return true;
}

void UaServices::finishDeviceOperation(const std::shared_ptr<DeviceOperation>& op) {
  // The room reserved for the answer is given back as the answer takes it in the output.
  if (!endDeviceOperation(*op)) return;
  if (op->kind == DeviceOperation::Kind::Read) {
    for (size_t i = 0; i < op->deviceNodes.size(); ++i) {
      const Node* node = op->deviceNodes[i];
      if (!node) continue;
      // What the device said travels with the request (the cache of a tag nothing polls
      // keeps no current value); its quality tells success from failure.
      const auto& request = op->requests[i];
      if (!request || request->cancel()) {
        // Answered without it: the PLC need not be asked for it any more.
        op->values[i] = statusOnly(Status::BadTimeout);
      } else if (auto result = request->getReadResult()) {
        op->values[i] = tagValueFrom(*result, op->timestamps, DateTime::now());
      } else {
        op->values[i] = readTagValue(*node, op->timestamps);
      }
    }
    ReadResponse resp;
    resp.results = std::move(op->values);
    Reply<ReadResponse>(op->reply)(std::move(resp));
  } else {
    for (size_t i = 0; i < op->requests.size(); ++i) {
      const auto& r = op->requests[i];
      if (!r) continue;
      // A write answered BadTimeout is given up at the same moment, so the PLC's worker drops
      // it unsent. Only one whose message is already on its way may still reach the PLC.
      op->statuses[i] = r->cancel() ? StatusCode(Status::BadTimeout) : statusForWrite(*r);
    }
    WriteResponse resp;
    resp.results = std::move(op->statuses);
    Reply<WriteResponse>(op->reply)(std::move(resp));
  }
}

void UaServices::connectionClosed(uint64_t connectionId) {
  // Device work whose answer nobody will read gives back its slots and its room for output
  // now, and its requests are given up: the PLC workers drop those not sent yet.
  std::vector<std::shared_ptr<DeviceOperation>> gone;
  for (auto& op : deviceOperations_)
    if (op->connectionId == connectionId) gone.push_back(op);
  for (auto& op : gone) {
    if (!endDeviceOperation(*op)) continue;
    for (const auto& request : op->requests)
      if (request) request->cancel();
  }
}

void UaServices::readyToFinish(const std::shared_ptr<DeviceOperation>& op) {
  if (op->kind == DeviceOperation::Kind::Write || op->reservedOutput < kReservedFrom || !op->session)
    return finishDeviceOperation(op);
  finishing_[op->session->client].push_back(op);
}

void UaServices::finishSome(std::chrono::milliseconds budget) {
  const auto until = std::chrono::steady_clock::now() + budget;
  bool first = true;
  while (!finishing_.empty() && (first || std::chrono::steady_clock::now() < until)) {
    auto it = finishing_.upper_bound(finishedLast_);
    if (it == finishing_.end()) it = finishing_.begin();
    finishedLast_ = it->first;
    std::shared_ptr<DeviceOperation> op = std::move(it->second.front());
    it->second.pop_front();
    if (it->second.empty()) finishing_.erase(it);
    if (op->finished) continue;
    finishDeviceOperation(op);
    first = false;
  }
}

void UaServices::expireDeviceOperations(SteadyTime t) {
  std::vector<std::shared_ptr<DeviceOperation>> due;
  for (auto& op : deviceOperations_)
    if (t >= op->deadline) due.push_back(op);
  for (auto& op : due) finishDeviceOperation(op);
}

}  // namespace zentarc::ua
