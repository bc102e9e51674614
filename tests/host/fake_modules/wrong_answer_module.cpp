// A module whose entry point answers something other than kConferenceExtensionLoaded and
// registers nothing.
#include <quenlo/extension.h>

extern "C" QUENLO_EXPORT int LoadConferenceExtension(quenlo::ExtensionHost* /*host*/) { return 7; }
