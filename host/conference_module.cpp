#include "host/conference_module.h"

#include "host/host_error.h"

namespace quenlo::host {

std::shared_ptr<ConferenceModule> ConferenceModule::Load(const std::string& path) {
  std::shared_ptr<ConferenceModule> module(new ConferenceModule(path));
  const int answer = module->library_.entry()(&module->registry_);
  if (answer != kLoadedAnswer) {
    throw HostError("module " + path + " answered " + std::to_string(answer) +
                    " to LoadConferenceExtension instead of " + std::to_string(kLoadedAnswer));
  }
  return module;
}

ConferenceModule::ConferenceModule(const std::string& path) : library_(path) {}

ConferenceModule::~ConferenceModule() { registry_.Clear(); }

}  // namespace quenlo::host
