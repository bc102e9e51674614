// The module's one exported entry point.
#pragma once

#include <quenlo/host.h>

#ifdef _WIN32
#define QUENLO_EXPORT __declspec(dllexport)
// The entry point is __cdecl (the caller cleans the stack), stated rather than left to the
// compiler's default, and exported under its plain name. A host that declared it WINAPI
// (__stdcall) would unbalance its stack on every call; declared through
// LoadConferenceExtensionFunction, the mismatch does not compile.
#define QUENLO_CALL __cdecl
#else
#define QUENLO_EXPORT __attribute__((visibility("default")))
#define QUENLO_CALL
#endif

// Registers "quenlo.voting.session" and then "quenlo.agenda.session" (version "1" each) with
// RegisterSessionType and returns 42. The factories are handed over without a reference for
// the host: a host that keeps one calls AddRef, and releases it before unloading the module.
// A factory the module could not allocate is registered as null. Needs no COM; each call
// registers two new factories.
extern "C" QUENLO_EXPORT int QUENLO_CALL LoadConferenceExtension(ExtensionHost* host);

using LoadConferenceExtensionFunction = int(QUENLO_CALL*)(ExtensionHost* host);
