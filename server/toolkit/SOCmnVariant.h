#pragma once
// SOCmnVariant: the value type of caches and requests (what a VARIANT is to the OPC DA
// toolkit). It keeps the variant type code, scalars of the types the server publishes,
// strings of 16-bit characters (which may contain NUL) and one-dimensional arrays with an
// element count. Strings and arrays share their storage between copies until one of them
// is changed, so copying a value in and out of a cache is cheap.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_ARRAY = 0x2000;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

class SOCmnVariant {
 public:
  SOCmnVariant() = default;  // VT_EMPTY

  static SOCmnVariant fromI2(std::int16_t v);
  static SOCmnVariant fromUI2(std::uint16_t v);
  static SOCmnVariant fromI4(std::int32_t v);
  static SOCmnVariant fromUI4(std::uint32_t v);
  static SOCmnVariant fromR4(float v);
  static SOCmnVariant fromBool(bool v);  // VARIANT_TRUE / VARIANT_FALSE
  static SOCmnVariant fromBstr(std::u16string s);
  // UTF-8 in, UTF-16 characters stored (invalid bytes are taken as ISO-8859-1).
  static SOCmnVariant fromUtf8(std::string_view utf8);
  // A one-dimensional array of `count` zero elements of elementType (VT_I1, VT_UI1, VT_I2,
  // VT_UI2, VT_I4, VT_UI4, VT_R4, VT_BOOL); VT_EMPTY for any other element type.
  static SOCmnVariant makeArray(VARTYPE elementType, std::uint32_t count);
  // Array from elements; E must match elementType (VT_BOOL takes VARIANT_BOOL elements).
  template <class E>
  static SOCmnVariant fromArray(VARTYPE elementType, std::span<const E> elements);
  // The zero value of a type: scalars 0 / VARIANT_FALSE, VT_BSTR `count` NUL characters,
  // arrays `count` zero elements. VT_EMPTY for a type outside the list above.
  static SOCmnVariant zeroOf(VARTYPE vt, std::uint32_t count = 0);

  VARTYPE vt() const { return vt_; }
  bool isEmpty() const { return vt_ == VT_EMPTY; }
  bool isArray() const { return (vt_ & VT_ARRAY) != 0; }

  // Scalar contents; each returns 0 when the type differs.
  std::int16_t iVal() const { return vt_ == VT_I2 ? scalar_.i2 : 0; }
  std::uint16_t uiVal() const { return vt_ == VT_UI2 ? scalar_.ui2 : 0; }
  std::int32_t lVal() const { return vt_ == VT_I4 ? scalar_.i4 : 0; }
  std::uint32_t ulVal() const { return vt_ == VT_UI4 ? scalar_.ui4 : 0; }
  float fltVal() const { return vt_ == VT_R4 ? scalar_.r4 : 0.0f; }
  VARIANT_BOOL boolVal() const { return vt_ == VT_BOOL ? scalar_.b : VARIANT_FALSE; }

  // VT_BSTR contents (empty for other types); length() is the character count.
  const std::u16string& bstrVal() const;
  std::u16string* mutableBstr();  // nullptr unless VT_BSTR; unshares first
  std::string toUtf8() const;     // VT_BSTR as UTF-8

  // Arrays: element type (vt without VT_ARRAY), element count, typed element access. The
  // span is empty when E does not match the element type.
  VARTYPE arrayElementType() const { return isArray() ? VARTYPE(vt_ & ~VT_ARRAY) : VT_EMPTY; }
  std::uint32_t arrayCount() const;
  template <class E>
  std::span<const E> arrayData() const;
  template <class E>
  std::span<E> mutableArrayData();  // unshares first

  // Same type and same contents (floats compared by bit pattern).
  bool operator==(const SOCmnVariant& o) const;
  bool operator!=(const SOCmnVariant& o) const { return !(*this == o); }

  void clear() { *this = SOCmnVariant(); }

 private:
  using Payload = std::variant<std::u16string, std::vector<std::int8_t>, std::vector<std::uint8_t>,
                               std::vector<std::int16_t>, std::vector<std::uint16_t>,
                               std::vector<std::int32_t>, std::vector<std::uint32_t>,
                               std::vector<float>>;
  union Scalar {
    std::int16_t i2;
    std::uint16_t ui2;
    std::int32_t i4;
    std::uint32_t ui4;
    float r4;
    VARIANT_BOOL b;
    std::uint32_t bits;
  };
  template <class E>
  static bool elementMatches(VARTYPE elementType);
  void unshare();

  VARTYPE vt_ = VT_EMPTY;
  Scalar scalar_{.bits = 0};
  std::shared_ptr<Payload> payload_;
};

template <class E>
bool SOCmnVariant::elementMatches(VARTYPE t) {
  if constexpr (std::is_same_v<E, std::int8_t>) return t == VT_I1;
  else if constexpr (std::is_same_v<E, std::uint8_t>) return t == VT_UI1;
  else if constexpr (std::is_same_v<E, std::int16_t>) return t == VT_I2 || t == VT_BOOL;
  else if constexpr (std::is_same_v<E, std::uint16_t>) return t == VT_UI2;
  else if constexpr (std::is_same_v<E, std::int32_t>) return t == VT_I4;
  else if constexpr (std::is_same_v<E, std::uint32_t>) return t == VT_UI4;
  else if constexpr (std::is_same_v<E, float>) return t == VT_R4;
  else return false;
}

template <class E>
SOCmnVariant SOCmnVariant::fromArray(VARTYPE elementType, std::span<const E> elements) {
  if (!elementMatches<E>(elementType)) return SOCmnVariant();
  SOCmnVariant v;
  v.vt_ = VARTYPE(VT_ARRAY | elementType);
  v.payload_ = std::make_shared<Payload>(std::vector<E>(elements.begin(), elements.end()));
  return v;
}

template <class E>
std::span<const E> SOCmnVariant::arrayData() const {
  if (!isArray() || !elementMatches<E>(arrayElementType()) || !payload_) return {};
  const auto* vec = std::get_if<std::vector<E>>(payload_.get());
  return vec ? std::span<const E>(*vec) : std::span<const E>();
}

template <class E>
std::span<E> SOCmnVariant::mutableArrayData() {
  if (!isArray() || !elementMatches<E>(arrayElementType()) || !payload_) return {};
  unshare();
  auto* vec = std::get_if<std::vector<E>>(payload_.get());
  return vec ? std::span<E>(*vec) : std::span<E>();
}

// UTF-8 <-> UTF-16 helpers used at the edges (descriptions, strings for clients).
std::u16string SOCmnUtf8ToUtf16(std::string_view utf8);
std::string SOCmnUtf16ToUtf8(std::u16string_view utf16);
