// The page's script and style sheet, built into the program from assets/ so that the service
// reads no files to serve them.
#pragma once

#include <string_view>

namespace quenlo::server::http {

extern const std::string_view kPageScript;
extern const std::string_view kPageStyle;

}  // namespace quenlo::server::http
