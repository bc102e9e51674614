#include "host/module_library.h"

#include <dlfcn.h>

#include "host/host_error.h"

namespace quenlo::host {
namespace {

std::string LastLoaderError() {
  const char* message = dlerror();
  return message == nullptr ? std::string("unknown loader error") : std::string(message);
}

}  // namespace

ModuleLibrary::ModuleLibrary(const std::string& path) : path_(path) {
  // RTLD_LOCAL: two modules loaded side by side must not resolve symbols against each other.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    throw HostError("cannot load module: " + LastLoaderError());
  }
  dlerror();
  void* symbol = dlsym(handle_, "LoadConferenceExtension");
  if (symbol == nullptr) {
    dlclose(handle_);
    throw HostError("module " + path + " does not export LoadConferenceExtension");
  }
  entry_ = reinterpret_cast<LoadConferenceExtensionFunction>(symbol);
}

ModuleLibrary::~ModuleLibrary() { dlclose(handle_); }

}  // namespace quenlo::host
