#pragma once
// Result codes of toolkit operations, as OPC DA numbers them.
#include <cstdint>

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
inline constexpr HRESULT OPC_E_BADTYPE = static_cast<HRESULT>(0xC0040004u);
inline constexpr HRESULT OPC_E_BADRIGHTS = static_cast<HRESULT>(0xC0040006u);
inline constexpr HRESULT OPC_E_UNKNOWNITEMID = static_cast<HRESULT>(0xC0040007u);
inline constexpr HRESULT OPC_E_RANGE = static_cast<HRESULT>(0xC004000Bu);  // value out of range

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
