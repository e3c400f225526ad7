// Any bytes as a Sparkplug B command payload, with the limits the server reads commands
// under: decoded or refused, never a crash or an allocation beyond the limits. Every metric
// is then offered to a tag of each type; a value a tag accepts, sent back as that tag's
// datatype and decoded again, is the same value (text without its trailing NULs).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/mqtt/sparkplug/CommandValues.h"
#include "server/mqtt/sparkplug/Payload.h"

namespace {

using namespace zentarc::mqtt::sparkplug;

constexpr VARTYPE kTypes[] = {VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_BOOL, VT_BSTR,
                              VT_ARRAY | VT_I1, VT_ARRAY | VT_UI1, VT_ARRAY | VT_I2, VT_ARRAY | VT_UI2,
                              VT_ARRAY | VT_I4, VT_ARRAY | VT_UI4, VT_ARRAY | VT_R4, VT_ARRAY | VT_BOOL};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const DecodeLimits limits;  // as the server reads commands
  Payload p;
  std::string error;
  if (!decodePayload(std::string_view(reinterpret_cast<const char*>(data), size), p, error, limits)) return 0;
  if (p.metrics.size() > limits.maxMetrics) std::abort();
  for (const Metric& m : p.metrics) {
    for (const VARTYPE type : kTypes) {
      SOCmnVariant value;
      if (!toTagValue(m, type, (type & VT_ARRAY) ? 3 : 0, value).empty()) continue;
      Payload back;
      Metric sent;
      sent.datatype = dataTypeOf(type);
      sent.value = value;
      back.metrics.push_back(std::move(sent));
      Payload again;
      if (!decodePayload(encodePayload(back), again, error, limits) || again.metrics.size() != 1) std::abort();
      SOCmnVariant roundTrip;
      if (!toTagValue(again.metrics[0], type, (type & VT_ARRAY) ? 3 : 0, roundTrip).empty()) std::abort();
      if (type == VT_BSTR) {
        // Text goes out without the NUL padding after it, as a PLC's string is shown.
        std::u16string_view want = value.bstrVal();
        while (!want.empty() && want.back() == u'\0') want.remove_suffix(1);
        if (roundTrip.bstrVal() != want) std::abort();
        continue;
      }
      if (!(roundTrip == value)) std::abort();  // floats compared by their bits
    }
  }
  return 0;
}
