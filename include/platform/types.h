// Base types of the Windows API, as the module and hosts use them on POSIX.
// On Windows the SDK headers provide all of this; see quenlo/platform.h.
#pragma once

#include <cstdint>

#define STDMETHODCALLTYPE
#define OLESTR(str) u##str

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using LPBOOL = BOOL*;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using DOUBLE = double;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPCCH = const char*;
using HRESULT = std::int32_t;

// Wide text is UTF-16 on every platform; on POSIX its unit is char16_t.
using OLECHAR = char16_t;
using WCHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPCWCH = const WCHAR*;
using BSTR = OLECHAR*;

using VARIANT_BOOL = std::int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
