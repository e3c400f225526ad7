#include "tools/zentarc-ua/Commands.h"

#include "server/toolkit/ua/security/LocalIdentity.h"
#include "server/toolkit/ua/security/Pki.h"

#include <thread>

#include "server/toolkit/ua/NodeIds.h"
#include "tools/zentarc-ua/ValueText.h"

namespace zentarc::uatool {

using namespace ua;

namespace {

const char* nodeClassName(NodeClass c) {
  switch (c) {
    case NodeClass::Object: return "Object";
    case NodeClass::Variable: return "Variable";
    case NodeClass::Method: return "Method";
    case NodeClass::ObjectType: return "ObjectType";
    case NodeClass::VariableType: return "VariableType";
    case NodeClass::ReferenceType: return "ReferenceType";
    case NodeClass::DataType: return "DataType";
    case NodeClass::View: return "View";
    default: return "Node";
  }
}

// Parses every node argument; reports the first bad one.
bool nodesOf(const Options& o, std::vector<NodeId>& ids, std::ostream& err) {
  for (const auto& text : o.nodes) {
    auto id = parseNode(text);
    if (!id) {
      err << "zentarc-ua: \"" << text << "\" is not a node id (examples: ns=1;s=Tag1, i=2258)\n";
      return false;
    }
    ids.push_back(*id);
  }
  return true;
}

int serviceFailed(const char* what, StatusCode st, const UaClient& c, std::ostream& err) {
  err << "zentarc-ua: " << what << " failed: " << statusCodeName(st);
  if (!c.errorText().empty()) err << " (" << c.errorText() << ")";
  err << "\n";
  return c.connected() ? kRefused : kNoConnection;
}

std::string describe(const DataValue& dv) {
  std::string s = dv.value ? dv.value->toString() : "(no value)";
  StatusCode st = dv.status.value_or(StatusCode(Status::Good));
  s += "  [" + std::string(statusCodeName(st));
  if (dv.sourceTimestamp) s += ", " + dv.sourceTimestamp->toString();
  return s + "]";
}

}  // namespace

int runBrowse(UaClient& client, const Options& o, std::ostream& out, std::ostream& err) {
  std::vector<NodeId> ids;
  if (!nodesOf(o, ids, err)) return kUsage;
  BrowseDescription d;
  // By default the server's OPCZentarc folder (ns=1;i=1): its PLC folders hold the tags.
  d.nodeId = ids.empty() ? NodeId(1, 1u) : ids[0];
  d.referenceTypeId = NodeId(0, Id::HierarchicalReferences);
  d.includeSubtypes = true;
  d.browseDirection = BrowseDirection::Forward;
  std::vector<ReferenceDescription> refs;
  StatusCode st = client.browse(d, refs);
  if (!st.isGood()) return serviceFailed("browse", st, client, err);
  for (const auto& r : refs) {
    out << nodeClassName(r.nodeClass) << "\t" << r.nodeId.nodeId.toString() << "\t"
        << r.browseName.name;
    if (r.displayName.text && *r.displayName.text != r.browseName.name) out << "\t\"" << *r.displayName.text << "\"";
    out << "\n";
  }
  if (refs.empty()) out << "(no references)\n";
  return kOk;
}

int runRead(UaClient& client, const Options& o, std::ostream& out, std::ostream& err) {
  std::vector<NodeId> ids;
  if (!nodesOf(o, ids, err)) return kUsage;
  std::vector<ReadValueId> nodes;
  for (const auto& id : ids) {
    ReadValueId r;
    r.nodeId = id;
    nodes.push_back(r);
  }
  std::vector<DataValue> results;
  StatusCode st = client.read(nodes, results, 0);
  if (!st.isGood()) return serviceFailed("read", st, client, err);
  int rc = kOk;
  for (size_t i = 0; i < ids.size(); ++i) {
    out << ids[i].toString() << " = " << describe(results[i]) << "\n";
    if (results[i].status && results[i].status->isBad()) rc = kRefused;
  }
  return rc;
}

int runWrite(UaClient& client, const Options& o, std::ostream& out, std::ostream& err) {
  std::vector<NodeId> ids;
  if (!nodesOf(o, ids, err)) return kUsage;
  // The value's type comes from the node itself.
  std::vector<ReadValueId> attrs(2);
  attrs[0].nodeId = attrs[1].nodeId = ids[0];
  attrs[0].attributeId = static_cast<uint32_t>(AttributeId::DataType);
  attrs[1].attributeId = static_cast<uint32_t>(AttributeId::ValueRank);
  std::vector<DataValue> meta;
  StatusCode st = client.read(attrs, meta, 0);
  if (!st.isGood()) return serviceFailed("reading the data type", st, client, err);
  const NodeId* type = meta[0].value ? meta[0].value->get<NodeId>() : nullptr;
  if (!type) {
    StatusCode why = meta[0].status.value_or(StatusCode(Status::BadNodeIdUnknown));
    err << "zentarc-ua: " << ids[0].toString() << ": cannot read its data type: " << statusCodeName(why) << "\n";
    return kRefused;
  }
  const int32_t* rank = meta[1].value ? meta[1].value->get<int32_t>() : nullptr;
  std::string problem;
  auto value = parseValue(o.value, *type, rank ? *rank : -1, problem);
  if (!value) {
    err << "zentarc-ua: " << ids[0].toString() << ": " << problem << "\n";
    return kUsage;
  }
  WriteValue wv;
  wv.nodeId = ids[0];
  wv.value.value = std::move(*value);
  std::vector<StatusCode> results;
  st = client.write({wv}, results);
  if (!st.isGood()) return serviceFailed("write", st, client, err);
  out << ids[0].toString() << ": " << statusCodeName(results[0]) << "\n";
  return results[0].isGood() ? kOk : kRefused;
}

int runWatch(UaClient& client, const Options& o, const std::atomic<bool>& stop,
             std::ostream& out, std::ostream& err) {
  std::vector<NodeId> ids;
  if (!nodesOf(o, ids, err)) return kUsage;
  CreateSubscriptionRequest cs;
  cs.requestedPublishingInterval = o.intervalMs;
  cs.requestedMaxKeepAliveCount = std::max(1, 5000 / o.intervalMs);
  cs.requestedLifetimeCount = cs.requestedMaxKeepAliveCount * 3;
  cs.publishingEnabled = true;
  CreateSubscriptionResponse csr;
  StatusCode st = client.call(cs, csr);
  if (!st.isGood()) return serviceFailed("creating the subscription", st, client, err);

  CreateMonitoredItemsRequest mi;
  mi.subscriptionId = csr.subscriptionId;
  mi.timestampsToReturn = TimestampsToReturn::Both;
  for (size_t i = 0; i < ids.size(); ++i) {
    MonitoredItemCreateRequest item;
    item.itemToMonitor.nodeId = ids[i];
    item.monitoringMode = MonitoringMode::Reporting;
    item.requestedParameters.clientHandle = static_cast<uint32_t>(i);
    item.requestedParameters.samplingInterval = o.intervalMs;
    item.requestedParameters.queueSize = 1;
    mi.itemsToCreate.push_back(item);
  }
  CreateMonitoredItemsResponse mir;
  st = client.call(mi, mir);
  if (!st.isGood()) return serviceFailed("creating the monitored items", st, client, err);
  int rc = kOk;
  for (size_t i = 0; i < ids.size() && i < mir.results.size(); ++i)
    if (!mir.results[i].statusCode.isGood()) {
      err << "zentarc-ua: " << ids[i].toString() << ": " << statusCodeName(mir.results[i].statusCode) << "\n";
      rc = kRefused;
    }

  auto end = std::chrono::steady_clock::now() +
             std::chrono::milliseconds(static_cast<int64_t>(o.durationS * 1000));
  auto waitLimit = std::chrono::milliseconds(
      static_cast<int64_t>(csr.revisedPublishingInterval * csr.revisedMaxKeepAliveCount) + 5000);
  std::vector<SubscriptionAcknowledgement> acks;
  while (!stop && (o.durationS <= 0 || std::chrono::steady_clock::now() < end)) {
    PublishRequest pr;
    pr.subscriptionAcknowledgements = std::move(acks);
    acks.clear();
    PublishResponse resp;
    st = client.call(pr, resp, waitLimit);
    if (!st.isGood()) {
      if (st.value == Status::BadTimeout && client.connected()) continue;
      return serviceFailed("publish", st, client, err);
    }
    if (!resp.notificationMessage.notificationData.empty())
      acks.push_back({resp.subscriptionId, resp.notificationMessage.sequenceNumber});
    for (const auto& eo : resp.notificationMessage.notificationData) {
      DataChangeNotification dcn;
      StatusChangeNotification scn;
      try {
        if (fromExtensionObject(eo, dcn)) {
          for (const auto& n : dcn.monitoredItems) {
            std::string name = n.clientHandle < ids.size() ? ids[n.clientHandle].toString() : "?";
            out << DateTime::now().toString() << "  " << name << " = " << describe(n.value) << "\n";
          }
        } else if (fromExtensionObject(eo, scn)) {
          out << DateTime::now().toString() << "  subscription status: " << statusCodeName(scn.status) << "\n";
          if (scn.status.isBad()) return kRefused;
        }
      } catch (const UaError&) {
        err << "zentarc-ua: malformed notification skipped\n";
      }
    }
    out.flush();
  }
  DeleteSubscriptionsRequest del;
  del.subscriptionIds = {csr.subscriptionId};
  DeleteSubscriptionsResponse delr;
  (void)client.call(del, delr);
  return rc;
}

int runTool(const Options& o, const std::atomic<bool>& stop, std::ostream& out, std::ostream& err) {
  UaClientOptions options;
  options.securityPolicy = o.security;
  options.securityMode = o.mode == "Sign" ? MessageSecurityMode::Sign : MessageSecurityMode::SignAndEncrypt;
  options.userName = o.user;
  options.password = o.password;
  const SecurityPolicy* policy = securityPolicyByName(o.security);
  std::string certificateFile;
  if (policy && policy->secure) {
    // Our own certificate, made on first use and kept for the next runs.
    Pki pki(pkiFolder(), "zentarc-ua");
    const std::string host = localHostName();
    std::string error;
    if (!pki.loadOrCreateOwn(localCertificateRequest("zentarc-ua", "zentarc-ua", "urn:" + host + ":zentarc-ua"), error)) {
      err << "zentarc-ua: no certificate of our own: " << error << "\n";
      return kNoConnection;
    }
    options.certificate = pki.ownCertificate();
    options.privateKey = pki.ownKey();
    options.applicationUri = pki.ownCertificate().applicationUri();
    certificateFile = (pki.root() / "own/certs/zentarc-ua.der").string();
  }
  UaClient client(options);
  StatusCode st = client.connect(o.endpoint);
  if (!st.isGood()) {
    err << "zentarc-ua: cannot connect to " << o.endpoint << ": " << statusCodeName(st);
    if (!client.errorText().empty()) err << " (" << client.errorText() << ")";
    err << "\n";
    if (st == StatusCode(Status::BadCertificateUntrusted))
      err << "zentarc-ua: the server does not trust our certificate (" << certificateFile
          << "); it keeps a copy in its rejected/certs folder: move that to trusted/certs to accept it\n";
    return kNoConnection;
  }
  int rc = kUsage;
  switch (o.command) {
    case Command::Browse: rc = runBrowse(client, o, out, err); break;
    case Command::Read: rc = runRead(client, o, out, err); break;
    case Command::Write: rc = runWrite(client, o, out, err); break;
    case Command::Watch: rc = runWatch(client, o, stop, out, err); break;
    case Command::None: break;
  }
  client.disconnect();
  return rc;
}

}  // namespace zentarc::uatool
