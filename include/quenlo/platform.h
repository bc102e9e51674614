// The platform the module is written against: the Windows SDK on Windows, the project's
// POSIX runtime elsewhere. Both offer the same names and signatures.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml.h>
#include <comdef.h>
#else
#include <platform/codepage.h>
#include <platform/com.h>
#include <platform/msxml.h>
#include <platform/oleauto.h>
#endif
