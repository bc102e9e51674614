#include "apps/module_location.h"

#include <filesystem>
#include <system_error>

namespace quenlo::confhost {

std::string DefaultModulePath() {
  std::error_code error;
  const std::filesystem::path binary = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return QUENLO_MODULE_RELATIVE_PATH;
  return (binary.parent_path() / QUENLO_MODULE_RELATIVE_PATH).lexically_normal().string();
}

}  // namespace quenlo::confhost
