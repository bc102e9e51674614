// Telling from an element's text as the DOM writes it out (get_xml) that no element with a given
// tag lies below it. msxml answers a tag list by evaluating the whole subtree, about 95 ms below
// a 3 MB reply under Wine, where writing the subtree out and searching the text takes about 40:
// a lookup for a field that a large reply lacks, which no walk can settle before the last node,
// so costs less than half.
#pragma once

#include "component/ole_text.h"

namespace quenlo::confext {

// True only when the text cannot hold an element whose tag is exactly tag: every such element is
// written "<tag" followed by white space, "/" or ">", and the text has none. False (unproven)
// for any such mark, even one inside a comment or a CDATA section, for any entity reference other
// than the five predefined ones and character references, which might stand for elements the text
// does not show, and for an empty text.
bool XmlTextLacksElement(OleStringView xml, OleStringView tag) noexcept;

}  // namespace quenlo::confext
