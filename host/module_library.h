// A loaded module file: the dlopen handle and its entry point, unloaded when the object goes.
#pragma once

#include <quenlo/extension.h>

#include <string>

namespace quenlo::host {

class ModuleLibrary {
 public:
  // Throws HostError naming the file when it cannot be loaded or lacks LoadConferenceExtension.
  explicit ModuleLibrary(const std::string& path);
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;
  ~ModuleLibrary();

  const std::string& path() const noexcept { return path_; }
  LoadConferenceExtensionFunction entry() const noexcept { return entry_; }

 private:
  std::string path_;
  void* handle_ = nullptr;
  LoadConferenceExtensionFunction entry_ = nullptr;
};

}  // namespace quenlo::host
