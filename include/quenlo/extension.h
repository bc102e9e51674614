// The module's one exported entry point.
#pragma once

#include <quenlo/host.h>

#ifdef _WIN32
#define QUENLO_EXPORT __declspec(dllexport)
#else
#define QUENLO_EXPORT __attribute__((visibility("default")))
#endif

// Registers "quenlo.voting.session" and "quenlo.agenda.session" (version "1") with the host
// and returns 42.
extern "C" QUENLO_EXPORT int LoadConferenceExtension(ExtensionHost* host);

using LoadConferenceExtensionFunction = int (*)(ExtensionHost* host);
