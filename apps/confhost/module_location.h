// Where confhost finds the module when --module is not given: the library built with it, at
// the same place relative to the binary as in the build tree, else where the installation puts
// it relative to the installed binary.
#pragma once

#include <string>

namespace quenlo::confhost {

std::string DefaultModulePath();

}  // namespace quenlo::confhost
