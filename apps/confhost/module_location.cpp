#include "apps/confhost/module_location.h"

#include <filesystem>
#include <system_error>

namespace quenlo::confhost {

std::string DefaultModulePath() {
  std::error_code error;
  const std::filesystem::path binary = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return QUENLO_MODULE_RELATIVE_PATH;
  const std::filesystem::path built =
      (binary.parent_path() / QUENLO_MODULE_RELATIVE_PATH).lexically_normal();
  if (std::filesystem::exists(built, error)) return built.string();
  const std::filesystem::path installed =
      (binary.parent_path() / QUENLO_INSTALLED_MODULE_RELATIVE_PATH).lexically_normal();
  if (std::filesystem::exists(installed, error)) return installed.string();
  // Neither is there: name the build's place, which the error message then shows.
  return built.string();
}

}  // namespace quenlo::confhost
