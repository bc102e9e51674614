// The module's one exported entry point.
#pragma once

#include <quenlo/host.h>

// The module's own build defines QUENLO_BUILDING_MODULE and exports the entry point; a host that
// includes this header only declares it (it finds the function at run time, by its name).
#if !defined(QUENLO_BUILDING_MODULE)
#define QUENLO_EXPORT
#elif defined(_WIN32)
#define QUENLO_EXPORT __declspec(dllexport)
#else
#define QUENLO_EXPORT __attribute__((visibility("default")))
#endif

#ifdef _WIN32
// The entry point is __cdecl (the caller cleans the stack), stated rather than left to the
// compiler's default, and exported under its plain name. A host that declared it WINAPI
// (__stdcall) would unbalance its stack on every call; declared through
// LoadConferenceExtensionFunction, the mismatch does not compile.
#define QUENLO_CALL __cdecl
#else
#define QUENLO_CALL
#endif

namespace quenlo {

// What LoadConferenceExtension answers once it has registered its session types. It is the only
// answer: a factory the module could not allocate is registered as null instead.
inline constexpr int kConferenceExtensionLoaded = 42;

}  // namespace quenlo

// Registers "quenlo.voting.session" and then "quenlo.agenda.session" (version "1" each) with
// RegisterSessionType and returns kConferenceExtensionLoaded. The factories are handed over
// without a reference for the host: a host that keeps one calls AddRef, and releases it before
// unloading the module. A factory the module could not allocate is registered as null. Needs no
// COM; each call registers two new factories.
extern "C" QUENLO_EXPORT int QUENLO_CALL LoadConferenceExtension(quenlo::ExtensionHost* host);

namespace quenlo {

using LoadConferenceExtensionFunction = int(QUENLO_CALL*)(ExtensionHost* host);

}  // namespace quenlo
