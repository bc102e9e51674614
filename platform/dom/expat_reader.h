// Reads XML text with expat, in its plain (non-namespace) mode, into a tree builder. expat checks
// everything XML asks of a text, so it reads whatever the quicker reader passes over.
#pragma once

#include <cstddef>

#include "text_parser.h"
#include "tree_builder.h"

namespace quenlo::platform::dom {

// encoding: the text's, whatever its declaration says ("UTF-8", "UTF-16LE", "UTF-16BE").
// A refusal, the builder's or expat's, comes back with the line and column where it happened.
ParseOutcome ReadWithExpat(TreeBuilder& builder, const char* bytes, std::size_t length,
                           const char* encoding);

}  // namespace quenlo::platform::dom
