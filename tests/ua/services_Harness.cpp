#include "tests/ua/services_Harness.h"

#include "server/toolkit/ua/services/TagNodes.h"

namespace zentarc::ua::test {

void ServicesHarness::SetUp() {
  root_ = SOCmnPointer<SODaSNameSpaceRoot>(new SODaSNameSpaceRoot());
  creator_ = SOCmnPointer<LoggingCreator>(new LoggingCreator(hooks_));
}

void ServicesHarness::TearDown() {
  if (session_ && services_) services_->sessionClosed(*session_);
  services_.reset();
  // Pending requests hold their tag, and the tag holds them: let go of both.
  for (auto& tag : root_->getTags())
    if (auto* d = dynamic_cast<DeviceTag*>(tag.get())) d->pending.clear();
  root_->removeAll();
}

DeviceTag* ServicesHarness::addTag(const std::string& name, VARTYPE vt, uint32_t count,
                                   uint32_t access, const std::string& comment) {
  auto* tag = new DeviceTag();
  tag->setName(name);
  tag->setAccessRights(access);
  tag->setNativeDatatype(vt);
  if ((vt & VT_ARRAY) || vt == VT_BSTR) tag->getCache()->setInitialValue(SOCmnVariant::zeroOf(vt, count));
  if (!comment.empty()) {
    SOCmnPointer<SODaSProperty> p(new SODaSProperty(SODAS_PROPERTY_ITEM_DESCRIPTION));
    p->setConstantValue(SOCmnVariant::fromUtf8(comment));
    tag->addProperty(p);
  }
  root_->addLeaf(tag);
  tag->release();  // the root holds it
  return tag;
}

void ServicesHarness::build(ServiceLimits limits, OutputBudget* output) {
  UaServices::Options o;
  o.limits = limits;
  o.output = output;
  o.clock = [this] { return now_; };
  o.plant = plant_;
  services_ = std::make_unique<UaServices>(
      *root_, SOCmnPointer<SODaSCreator>(creator_),
      [this](std::function<void()> f) { posted_.push_back(std::move(f)); }, o);
  session_ = newSession();
}

std::shared_ptr<Session> ServicesHarness::newSession(const std::string& client) {
  auto s = std::make_shared<Session>();
  s->sessionId = NodeId(0, nextSession_++ + 100000u);
  s->client = client;
  s->activated = true;
  return s;
}

ReadValueId valueOf(const std::string& tag) {
  ReadValueId r;
  r.nodeId = tagNodeId(tag);
  return r;
}

NodeId tagId(const std::string& tag) { return tagNodeId(tag); }

}  // namespace zentarc::ua::test
