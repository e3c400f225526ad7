// Any bytes as a write request over MQTT, to a tag of each type (the first byte picks it):
// the request is read or refused, never a crash; a value it accepts, written out as the
// tag's JSON and read again, is the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/mqtt/JsonFormat.h"
#include "server/mqtt/JsonValues.h"

namespace {

using namespace zentarc::mqtt;

PublishedPlant makePlant() {
  PublishedPlant plant;
  plant.plcs = {"P"};
  const VARTYPE types[] = {VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_BOOL, VT_BSTR,
                           VT_ARRAY | VT_I1, VT_ARRAY | VT_UI1, VT_ARRAY | VT_I2, VT_ARRAY | VT_UI2,
                           VT_ARRAY | VT_I4, VT_ARRAY | VT_UI4, VT_ARRAY | VT_R4, VT_ARRAY | VT_BOOL};
  for (VARTYPE vt : types) {
    SOCmnPointer<SODaSTag> tag(new SODaSTag());
    tag->setName("t" + std::to_string(vt));
    tag->setAccessRights(OPC_READABLE | OPC_WRITEABLE);
    tag->setNativeDatatype(vt);
    PublishedTag t;
    t.tag = tag;
    t.type = vt;
    t.count = (vt & VT_ARRAY) ? 3 : 0;
    t.readable = t.writable = true;
    plant.tags.push_back(std::move(t));
  }
  return plant;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const PublishedPlant plant = makePlant();
  static const JsonFormat format(plant, "f", "n");
  if (size == 0) return 0;
  const std::size_t tag = data[0] % plant.tags.size();
  const std::string_view payload(reinterpret_cast<const char*>(data + 1), size - 1);
  const WriteCommand c = format.decodeWrite(format.tagTopic(tag) + "/set", payload);
  if (c.tag != tag) std::abort();
  if (!c.status.empty() || plant.tags[tag].type == VT_BSTR) return 0;  // strings lose their NUL padding
  std::string text;
  appendTagValue(text, c.value);
  json::Value again;
  std::string error;
  SOCmnVariant back;
  if (!json::parse(text, again, error) || !toTagValue(again, plant.tags[tag].type, 3, back).empty() || back != c.value)
    std::abort();
  return 0;
}
