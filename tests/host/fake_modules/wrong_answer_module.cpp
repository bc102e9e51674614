// A module whose entry point answers something other than 42 and registers nothing.
#include <quenlo/extension.h>

extern "C" QUENLO_EXPORT int LoadConferenceExtension(ExtensionHost* /*host*/) { return 7; }
