// `confhost demo`: a whole meeting of three participants in a few seconds, told as it happens,
// with the agenda, the ballots and the results shown as tables.
#pragma once

#include <memory>
#include <ostream>

#include "host/conference_module.h"

namespace quenlo::confhost {

// Throws std::runtime_error when the module does not answer as a meeting needs.
void RunDemo(std::shared_ptr<host::ConferenceModule> module, std::ostream& out, bool trace);

}  // namespace quenlo::confhost
