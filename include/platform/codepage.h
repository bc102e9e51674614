// The ANSI code page. On POSIX it is Windows-1252, what a Western Windows install reports;
// CP_UTF8 is there for hosts that speak UTF-8 on the wire.
#pragma once

#include <platform/export.h>
#include <platform/hresult.h>
#include <platform/types.h>

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// Conversion flags. The ANSI code page takes MB_PRECOMPOSED, MB_ERR_INVALID_CHARS (both change
// nothing: every byte has a character) and WC_NO_BEST_FIT_CHARS; CP_UTF8 takes only the two
// *_ERR_INVALID_CHARS flags, which turn malformed input into ERROR_NO_UNICODE_TRANSLATION
// instead of U+FFFD. Any other flag gives ERROR_INVALID_FLAGS.
constexpr DWORD MB_PRECOMPOSED = 0x1;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x80;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;

extern "C" {
// Into the ANSI code page, a character it lacks becomes a look-alike where Windows' best fit
// has one (U+0100 "A", U+FF11 "1"; not with WC_NO_BEST_FIT_CHARS), otherwise the default
// character, "?" unless given, which sets *usedDefault. Each half of a surrogate pair counts
// as one character. A length of -1 means "zero-terminated, terminator included". Failures
// return 0 and set the last error.
PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideLength,
                                     LPSTR narrow, int narrowSize, LPCCH defaultChar,
                                     LPBOOL usedDefault);
PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH narrow, int narrowLength,
                                     LPWSTR wide, int wideSize);
PLATFORM_API int lstrlenA(LPCSTR text);
PLATFORM_API DWORD GetLastError();
PLATFORM_API void SetLastError(DWORD error);
}
