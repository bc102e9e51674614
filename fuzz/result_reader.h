// Reads every accessor of an announced result object, over positions and names in range, out
// of range, negative, null and empty, and checks what the accessors promise whatever the packet:
// status 0 or 1 only, an output left alone when nothing is delivered, texts readable in full.
#pragma once

#include <quenlo/platform.h>

namespace quenlo::fuzz {

void ReadEveryAccessor(IUnknown* result);

}  // namespace quenlo::fuzz
