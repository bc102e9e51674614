// Reads UTF-8 XML text with pugixml into a tree builder, several times quicker than expat on a
// short reply. pugixml does not check everything XML asks of a text, so this reader takes only
// what it can vouch for with the checks it adds: elements, attributes, character data, and the
// predefined entity and character references, in well-formed UTF-8 without a byte order mark.
// Anything else (a comment, a declaration, CDATA, a non-ASCII name, an unusual reference, and
// any error) is passed over, for expat to read or refuse with its message and position.
#pragma once

#include <string_view>

#include "tree_builder.h"

namespace quenlo::platform::dom {

// True when the whole text went into the builder and the builder accepted it. False when the
// text was passed over: the builder may then hold part of a tree, which the caller discards.
// Running out of memory throws std::bad_alloc.
bool ReadWithPugixml(TreeBuilder& builder, std::string_view utf8);

}  // namespace quenlo::platform::dom
