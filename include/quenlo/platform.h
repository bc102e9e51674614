// The platform the module is written against: the Windows SDK on Windows, the project's
// POSIX runtime elsewhere. Both offer the same names and signatures.
#pragma once

#ifdef _WIN32
// windows.h defines min and max as macros unless NOMINMAX is set, which breaks std::min, std::max
// and numeric_limits<T>::max() in every source that includes it after this header. Set here for
// the SDK's headers only, and left as the host had it (a host may define it itself).
#ifndef NOMINMAX
#define NOMINMAX
#define QUENLO_SET_NOMINMAX
#endif
// windows.h comes first.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml.h>
#include <comdef.h>
// clang-format on
#ifdef QUENLO_SET_NOMINMAX
#undef NOMINMAX
#undef QUENLO_SET_NOMINMAX
#endif
#else
#include <platform/codepage.h>
#include <platform/com.h>
#include <platform/long_output.h>
#include <platform/msxml.h>
#include <platform/oleauto.h>
#endif
