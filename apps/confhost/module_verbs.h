// The module's commands as confhost verbs: one verb per command of the voting and agenda
// sessions, taking the command's arguments in order.
#pragma once

#include <quenlo/platform.h>

#include <string>
#include <string_view>
#include <vector>

#include "host/participant.h"

namespace quenlo::confhost {

struct ModuleVerb {
  std::string_view name;
  std::vector<std::string_view> parameters;
  std::string_view summary;
  HRESULT (*run)(host::Participant& participant, const std::vector<std::u16string>& arguments);
};

const std::vector<ModuleVerb>& ModuleVerbs();
// Null when no module verb has that name.
const ModuleVerb* FindModuleVerb(std::string_view name);

}  // namespace quenlo::confhost
