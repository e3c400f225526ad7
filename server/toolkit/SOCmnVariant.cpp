#include "server/toolkit/SOCmnVariant.h"

#include <cstring>

namespace {

const std::u16string kEmptyString;

}  // namespace

SOCmnVariant SOCmnVariant::fromI2(std::int16_t v) {
  SOCmnVariant r;
  r.vt_ = VT_I2;
  r.scalar_.i2 = v;
  return r;
}

SOCmnVariant SOCmnVariant::fromUI2(std::uint16_t v) {
  SOCmnVariant r;
  r.vt_ = VT_UI2;
  r.scalar_.ui2 = v;
  return r;
}

SOCmnVariant SOCmnVariant::fromI4(std::int32_t v) {
  SOCmnVariant r;
  r.vt_ = VT_I4;
  r.scalar_.i4 = v;
  return r;
}

SOCmnVariant SOCmnVariant::fromUI4(std::uint32_t v) {
  SOCmnVariant r;
  r.vt_ = VT_UI4;
  r.scalar_.ui4 = v;
  return r;
}

SOCmnVariant SOCmnVariant::fromR4(float v) {
  SOCmnVariant r;
  r.vt_ = VT_R4;
  r.scalar_.r4 = v;
  return r;
}

SOCmnVariant SOCmnVariant::fromBool(bool v) {
  SOCmnVariant r;
  r.vt_ = VT_BOOL;
  r.scalar_.b = v ? VARIANT_TRUE : VARIANT_FALSE;
  return r;
}

SOCmnVariant SOCmnVariant::fromBstr(std::u16string s) {
  SOCmnVariant r;
  r.vt_ = VT_BSTR;
  r.payload_ = std::make_shared<Payload>(std::move(s));
  return r;
}

SOCmnVariant SOCmnVariant::fromUtf8(std::string_view utf8) { return fromBstr(SOCmnUtf8ToUtf16(utf8)); }

SOCmnVariant SOCmnVariant::makeArray(VARTYPE elementType, std::uint32_t count) {
  SOCmnVariant r;
  Payload p;
  switch (elementType) {
    case VT_I1: p = std::vector<std::int8_t>(count); break;
    case VT_UI1: p = std::vector<std::uint8_t>(count); break;
    case VT_I2:
    case VT_BOOL: p = std::vector<std::int16_t>(count); break;
    case VT_UI2: p = std::vector<std::uint16_t>(count); break;
    case VT_I4: p = std::vector<std::int32_t>(count); break;
    case VT_UI4: p = std::vector<std::uint32_t>(count); break;
    case VT_R4: p = std::vector<float>(count); break;
    default: return r;
  }
  r.vt_ = VARTYPE(VT_ARRAY | elementType);
  r.payload_ = std::make_shared<Payload>(std::move(p));
  return r;
}

SOCmnVariant SOCmnVariant::zeroOf(VARTYPE vt, std::uint32_t count) {
  if (vt & VT_ARRAY) return makeArray(VARTYPE(vt & ~VT_ARRAY), count);
  switch (vt) {
    case VT_I2: return fromI2(0);
    case VT_UI2: return fromUI2(0);
    case VT_I4: return fromI4(0);
    case VT_UI4: return fromUI4(0);
    case VT_R4: return fromR4(0.0f);
    case VT_BOOL: return fromBool(false);
    case VT_BSTR: return fromBstr(std::u16string(count, u'\0'));
    default: return SOCmnVariant();
  }
}

const std::u16string& SOCmnVariant::bstrVal() const {
  if (vt_ != VT_BSTR || !payload_) return kEmptyString;
  const auto* s = std::get_if<std::u16string>(payload_.get());
  return s ? *s : kEmptyString;
}

std::u16string* SOCmnVariant::mutableBstr() {
  if (vt_ != VT_BSTR || !payload_) return nullptr;
  unshare();
  return std::get_if<std::u16string>(payload_.get());
}

std::string SOCmnVariant::toUtf8() const { return SOCmnUtf16ToUtf8(bstrVal()); }

std::uint32_t SOCmnVariant::arrayCount() const {
  if (!isArray() || !payload_) return 0;
  return std::visit([](const auto& v) { return static_cast<std::uint32_t>(v.size()); }, *payload_);
}

void SOCmnVariant::unshare() {
  if (payload_ && payload_.use_count() > 1) payload_ = std::make_shared<Payload>(*payload_);
}

bool SOCmnVariant::operator==(const SOCmnVariant& o) const {
  if (vt_ != o.vt_) return false;
  if (vt_ == VT_BSTR || isArray()) {
    if (payload_ == o.payload_) return true;
    if (!payload_ || !o.payload_) return false;
    if (payload_->index() != o.payload_->index()) return false;
    if (const auto* a = std::get_if<std::vector<float>>(payload_.get())) {
      const auto& b = std::get<std::vector<float>>(*o.payload_);
      return a->size() == b.size() &&
             (a->empty() || std::memcmp(a->data(), b.data(), a->size() * sizeof(float)) == 0);
    }
    return *payload_ == *o.payload_;
  }
  switch (vt_) {
    case VT_I2: case VT_UI2: case VT_BOOL: return scalar_.ui2 == o.scalar_.ui2;
    case VT_I4: case VT_UI4: case VT_R4: return scalar_.bits == o.scalar_.bits;
    default: return true;
  }
}

std::u16string SOCmnUtf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = b0;
    std::size_t len = 1;
    std::uint32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) { len = 2; cp = b0 & 0x1F; min = 0x80; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) { len = 3; cp = b0 & 0x0F; min = 0x800; }
    else if (b0 >= 0xF0 && b0 <= 0xF4) { len = 4; cp = b0 & 0x07; min = 0x10000; }
    bool valid = len == 1 ? b0 < 0x80 : i + len <= s.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) valid = false;
      else cp = (cp << 6) | (b & 0x3F);
    }
    if (valid && len > 1 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
    if (!valid) {  // a stray byte stands for its ISO-8859-1 character
      out.push_back(static_cast<char16_t>(b0));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string SOCmnUtf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}
