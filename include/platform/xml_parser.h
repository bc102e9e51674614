// Turning XML text into DOM elements on POSIX. The parser is namespace-aware, keeps only the
// five predefined entities and character references, and refuses a DOCTYPE, entity
// declarations, and input beyond the size and nesting limits.
//
// These entry points take and return C++ library types (std::string_view, std::string), so a
// host that calls them is built with the same C++ standard library as the runtime (libstdc++,
// as Debian's g++ and clang use). A host built otherwise parses through the DOM's COM interface
// instead: a "Microsoft.XMLDOM" document from CoCreateInstance and its loadXML, which takes a
// BSTR and applies the same default limits.
#pragma once

#include <platform/msxml.h>

#include <cstddef>
#include <string>
#include <string_view>

struct XmlParseLimits {
  std::size_t maxBytes = std::size_t{1} << 20;
  std::size_t maxDepth = 256;
};

enum class XmlParseStatus {
  Ok,
  Malformed,       // not well-formed XML (expat's message says where)
  DoctypeRefused,  // a document type declaration
  EntityRefused,   // an entity declaration
  TooLarge,        // more bytes than XmlParseLimits::maxBytes
  TooDeep,         // elements nested deeper than XmlParseLimits::maxDepth
};

struct XmlParseResult {
  XmlParseStatus status = XmlParseStatus::Ok;
  std::string message;  // empty on success; otherwise says which refusal and where
};

// Limits that loadXML and XmlParseElement use when none are given: 1 MiB of text and 256 levels
// of elements. A host that expects larger packets raises them for the whole process with
// XmlSetDefaultParseLimits, or passes its own to XmlParseElement per call.
PLATFORM_API XmlParseLimits XmlGetDefaultParseLimits();
PLATFORM_API void XmlSetDefaultParseLimits(const XmlParseLimits& limits);

// Parses UTF-8 text into a new document and hands out its root element with one reference
// (null on failure). The document itself is released: the element stands on its own, a
// free-standing tree with no parent and no owner document, valid for as long as it is held.
PLATFORM_API XmlParseResult XmlParseElement(std::string_view utf8, IXMLDOMElement** root);
PLATFORM_API XmlParseResult XmlParseElement(std::string_view utf8, const XmlParseLimits& limits,
                                            IXMLDOMElement** root);
