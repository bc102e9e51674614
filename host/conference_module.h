// The module loaded and entered: its file, and the session types it registered.
#pragma once

#include <memory>
#include <string>

#include "host/module_library.h"
#include "host/session_type_registry.h"

namespace quenlo::host {

class ConferenceModule {
 public:
  // What LoadConferenceExtension answers when it has registered its session types.
  static constexpr int kLoadedAnswer = kConferenceExtensionLoaded;

  // Loads the file, enters it and checks its answer. Throws HostError on every failure, with
  // the module unloaded again. Shared so that every session can keep the code it runs loaded.
  static std::shared_ptr<ConferenceModule> Load(const std::string& path);

  ConferenceModule(const ConferenceModule&) = delete;
  ConferenceModule& operator=(const ConferenceModule&) = delete;
  ~ConferenceModule();

  const std::string& path() const noexcept { return library_.path(); }
  const SessionTypeRegistry& SessionTypes() const noexcept { return registry_; }

 private:
  explicit ConferenceModule(const std::string& path);

  // Declared first so that it goes last: the factories live in the module's code.
  ModuleLibrary library_;
  SessionTypeRegistry registry_;
};

}  // namespace quenlo::host
