#include "TagRules.h"

#include "common/configfile/DataTypes.h"

namespace zentarc::configfile {

std::uint32_t registerSpan(std::uint16_t typeCode, std::uint32_t bit, std::uint32_t count) {
  const std::uint64_t n = count;
  std::uint64_t span = 0;
  switch (typeCode) {
    case VT_I2: case VT_UI2: case VT_BOOL: span = 1; break;
    case VT_I4: case VT_UI4: case VT_R4: span = 2; break;
    case VT_BSTR: span = (n + 1) / 2; break;
    case kArrayFlag | VT_I2: case kArrayFlag | VT_UI2: span = n; break;
    case kArrayFlag | VT_I4: case kArrayFlag | VT_UI4: case kArrayFlag | VT_R4: span = 2 * n; break;
    case kArrayFlag | VT_I1: case kArrayFlag | VT_UI1: span = (n + 1) / 2; break;
    case kArrayFlag | VT_BOOL: span = (n + bit + 15) / 16; break;
    default: span = 0; break;
  }
  return span > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(span);
}

std::uint32_t bitAreaByteSize(std::uint16_t typeCode, std::uint32_t count) {
  const std::uint64_t n = count;
  std::uint64_t bytes = 0;
  switch (typeCode) {
    case VT_I2: case VT_UI2: bytes = 2; break;
    case VT_I4: case VT_UI4: case VT_R4: bytes = 4; break;
    case VT_BSTR: case kArrayFlag | VT_I1: case kArrayFlag | VT_UI1: bytes = n; break;
    case kArrayFlag | VT_I2: case kArrayFlag | VT_UI2: bytes = 2 * n; break;
    case kArrayFlag | VT_I4: case kArrayFlag | VT_UI4: case kArrayFlag | VT_R4: bytes = 4 * n; break;
    default: bytes = 0; break;
  }
  return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(bytes);
}

std::uint32_t areaSpan(MemoryArea area, std::uint16_t typeCode, std::uint32_t bit, std::uint32_t count) {
  if (!isBitArea(area)) return registerSpan(typeCode, bit, count);
  if (typeCode == VT_BOOL) return 1;
  if (typeCode == (kArrayFlag | VT_BOOL)) return count;
  const std::uint64_t bits = 8ull * bitAreaByteSize(typeCode, count);
  return bits > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(bits);
}

namespace {

// The next code point of valid UTF-8, or the byte itself (as a Latin-1 character) when
// the bytes are not valid UTF-8; `i` moves past what was read.
std::uint32_t nextCodePoint(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t extra = 0;
  std::uint32_t cp = b0;
  if (b0 >= 0xC2 && b0 <= 0xDF) extra = 1, cp = b0 & 0x1F;
  else if (b0 >= 0xE0 && b0 <= 0xEF) extra = 2, cp = b0 & 0x0F;
  else if (b0 >= 0xF0 && b0 <= 0xF4) extra = 3, cp = b0 & 0x07;
  if (extra > 0 && i + extra < s.size()) {
    bool ok = true;
    for (std::size_t k = 1; k <= extra && ok; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      ok = (b & 0xC0) == 0x80;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (ok) {
      i += extra + 1;
      return cp;
    }
  }
  ++i;
  return b0;
}

bool isControl(std::uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

bool isBlank(std::uint32_t cp) { return cp == ' ' || cp == 0xA0 || cp == 0x3000; }

}  // namespace

NameFault checkName(std::string_view utf8) {
  if (utf8.empty()) return NameFault::Empty;
  bool blanksOnly = true;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::uint32_t cp = nextCodePoint(utf8, i);
    if (isControl(cp)) return NameFault::Control;
    if (!isBlank(cp)) blanksOnly = false;
  }
  return blanksOnly ? NameFault::Blank : NameFault::None;
}

std::string_view nameFaultText(NameFault fault) {
  switch (fault) {
    case NameFault::Empty: return "the name is empty";
    case NameFault::Blank: return "the name is made of blanks only";
    case NameFault::Control: return "the name holds a line break or another control character";
    case NameFault::None: break;
  }
  return {};
}

std::string foldName(std::string_view utf8) {
  std::string out(utf8);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < out.size()) {
      // U+00C0..U+00DE (except U+00D7, the multiplication sign) are capitals whose lower
      // case letters lie 0x20 above them.
      const auto n = static_cast<unsigned char>(out[i + 1]);
      if (n >= 0x80 && n <= 0x9E && n != 0x97) out[i + 1] = static_cast<char>(n + 0x20);
      ++i;
    }
  }
  return out;
}

std::vector<TagFault> checkTagNumbers(const TagNumbers& tag) {
  std::vector<TagFault> faults;
  const bool addressOk = tag.address >= 1 && tag.address <= kMaxAddress;
  const bool bitOk = tag.bit >= 0 && tag.bit <= kMaxFileNumber;
  const bool elementsOk = tag.elements >= 0 && tag.elements <= kMaxFileNumber;
  if (!addressOk) faults.push_back(TagFault::AddressOutOfRange);
  if (!bitOk) faults.push_back(TagFault::BitOutOfRange);
  if (!elementsOk) faults.push_back(TagFault::ElementsOutOfRange);
  const bool bitArea = isBitArea(tag.area);
  if (!bitArea && tag.typeCode == VT_BOOL && bitOk && tag.bit > kMaxBooleanBit)
    faults.push_back(TagFault::BooleanBitAbove15);
  if (addressOk && bitOk && elementsOk) {
    const std::uint64_t span = areaSpan(tag.area, tag.typeCode, static_cast<std::uint32_t>(tag.bit),
                                        static_cast<std::uint32_t>(tag.elements));
    if (span > 0 && static_cast<std::uint64_t>(tag.address) + span - 1 > kLastRegisterNumber)
      faults.push_back(TagFault::PastLastRegister);
  }
  const bool boolean = tag.typeCode == VT_BOOL || tag.typeCode == (kArrayFlag | VT_BOOL);
  if (bitArea && addressOk && !boolean && tag.typeCode != 0 && (tag.address - 1) % 8 != 0)
    faults.push_back(TagFault::NotByteAligned);
  if (bitArea && boolean && bitOk && tag.bit != 0) faults.push_back(TagFault::BitInBitArea);
  return faults;
}

}  // namespace zentarc::configfile
