#include "expat_parser.h"

#include <expat.h>

#include <bit>
#include <climits>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dom_strings.h"
#include "element.h"
#include "text_node.h"

namespace quenlo::platform::dom {
namespace {

constexpr std::string_view kXmlPrefix = "xml";
constexpr std::u16string_view kXmlNamespace = u"http://www.w3.org/XML/1998/namespace";

struct ParserDeleter {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using ParserHandle = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

bool IsXmlWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::u16string ToUtf16(std::string_view utf8) {
  std::u16string text;
  text.reserve(utf8.size());
  AppendUtf8AsUtf16(utf8, text);
  return text;
}

// The prefix of a qualified name, or nothing; false when the name has more than one colon or
// one at either end, which namespaces forbid.
bool SplitPrefix(std::string_view name, std::string_view& prefix) {
  const std::size_t colon = name.find(':');
  prefix = {};
  if (colon == std::string_view::npos) return true;
  if (colon == 0 || colon + 1 == name.size() || name.find(':', colon + 1) != name.npos) {
    return false;
  }
  prefix = name.substr(0, colon);
  return true;
}

class TreeBuilder {
 public:
  TreeBuilder(XML_Parser parser, Node& document, const XmlParseLimits& limits)
      : parser_(parser), current_(&document), limits_(limits) {
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &TreeBuilder::OnStart, &TreeBuilder::OnEnd);
    XML_SetCharacterDataHandler(parser, &TreeBuilder::OnText);
    XML_SetDoctypeDeclHandler(parser, nullptr, &TreeBuilder::OnDoctypeEnd);
    XML_SetEntityDeclHandler(parser, &TreeBuilder::OnEntityDeclaration);
  }

  ParseOutcome Run(const char* bytes, std::size_t length) {
    // expat takes int lengths, so larger inputs (a host may raise the limit) go in slices.
    constexpr std::size_t kSlice = std::size_t{1} << 30;
    XML_Status status = XML_STATUS_OK;
    do {
      const std::size_t slice = std::min(length, kSlice);
      const bool last = slice == length;
      status = XML_Parse(parser_, bytes, static_cast<int>(slice), last ? XML_TRUE : XML_FALSE);
      bytes += slice;
      length -= slice;
    } while (status == XML_STATUS_OK && length > 0);
    if (failure_) std::rethrow_exception(failure_);
    if (status != XML_STATUS_OK && outcome_.result.status == XmlParseStatus::Ok) {
      Refuse(XmlParseStatus::Malformed, XML_ErrorString(XML_GetErrorCode(parser_)));
    }
    return outcome_;
  }

 private:
  template <class Handler>
  static void Dispatch(void* userData, Handler&& handler) {
    auto& builder = *static_cast<TreeBuilder*>(userData);
    if (builder.outcome_.result.status != XmlParseStatus::Ok || builder.failure_) return;
    try {
      handler(builder);
    } catch (...) {
      // Exceptions must not unwind through expat's C frames; rethrown once it returns.
      builder.failure_ = std::current_exception();
      XML_StopParser(builder.parser_, XML_FALSE);
    }
  }

  static void XMLCALL OnStart(void* userData, const XML_Char* name, const XML_Char** attributes) {
    Dispatch(userData, [&](TreeBuilder& builder) { builder.StartElement(name, attributes); });
  }
  static void XMLCALL OnEnd(void* userData, const XML_Char*) {
    Dispatch(userData, [](TreeBuilder& builder) { builder.EndElement(); });
  }
  static void XMLCALL OnText(void* userData, const XML_Char* text, int length) {
    Dispatch(userData, [&](TreeBuilder& builder) {
      builder.AppendText({text, static_cast<std::size_t>(length)});
    });
  }
  static void XMLCALL OnDoctypeEnd(void* userData) {
    Dispatch(userData, [](TreeBuilder& builder) {
      builder.Refuse(XmlParseStatus::DoctypeRefused, "document type declaration refused");
    });
  }
  static void XMLCALL OnEntityDeclaration(void* userData, const XML_Char* name, int,
                                          const XML_Char*, int, const XML_Char*, const XML_Char*,
                                          const XML_Char*, const XML_Char*) {
    Dispatch(userData, [&](TreeBuilder& builder) {
      builder.Refuse(XmlParseStatus::EntityRefused,
                     "entity declaration refused (" + std::string(name) + ")");
    });
  }

  void Refuse(XmlParseStatus status, const std::string& reason) {
    outcome_.line = static_cast<long>(XML_GetCurrentLineNumber(parser_));
    outcome_.column = static_cast<long>(XML_GetCurrentColumnNumber(parser_)) + 1;
    outcome_.result.status = status;
    outcome_.result.message = reason + " at line " + std::to_string(outcome_.line) + ", column " +
                              std::to_string(outcome_.column);
    XML_StopParser(parser_, XML_FALSE);
  }

  void StartElement(std::string_view name, const XML_Char** attributes) {
    FlushText();
    if (++depth_ > limits_.maxDepth) {
      Refuse(XmlParseStatus::TooDeep,
             "elements nested deeper than " + std::to_string(limits_.maxDepth) + " levels");
      return;
    }
    if (!DeclareNamespaces(attributes)) return;
    NamespaceUri namespaceUri;
    if (!ResolveElementNamespace(name, namespaceUri) || !CheckAttributePrefixes(attributes)) return;

    Element* element = Element::Create(current_->Link(), ToUtf16(name), std::move(namespaceUri));
    current_->AdoptLastChild(element);  // owned by the tree from here on, even if a step fails
    std::size_t count = 0;
    while (attributes[count] != nullptr) count += 2;
    element->ReserveAttributes(count / 2);
    for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
      element->AppendAttribute(ToUtf16(attribute[0]), ToUtf16(attribute[1]));
    }
    current_ = element;
  }

  void EndElement() {
    FlushText();
    for (std::size_t count = declarationCounts_.back(); count > 0; --count) {
      if (declaredPrefixes_.back().empty()) {
        defaultNamespaces_.pop_back();
      } else {
        prefixBindings_[declaredPrefixes_.back()].pop_back();
      }
      declaredPrefixes_.pop_back();
    }
    declarationCounts_.pop_back();
    current_ = current_->Parent();
    --depth_;
  }

  void AppendText(std::string_view utf8) {
    if (!pendingHasContent_) {
      for (const char c : utf8) {
        if (!IsXmlWhiteSpace(c)) {
          pendingHasContent_ = true;
          break;
        }
      }
    }
    AppendUtf8AsUtf16(utf8, pendingText_);
  }

  // Text made only of white space between elements is layout, not content, and is dropped.
  void FlushText() {
    if (pendingHasContent_) {
      // Copied at its exact size; the buffer is kept for the next run of text.
      current_->AdoptLastChild(TextNode::Create(current_->Link(), pendingText_));
    }
    pendingText_.clear();
    pendingHasContent_ = false;
  }

  bool DeclareNamespaces(const XML_Char** attributes) {
    std::size_t count = 0;
    for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
      const std::string_view name = attribute[0];
      const std::string_view value = attribute[1];
      if (name == "xmlns") {
        defaultNamespaces_.push_back(
            value.empty() ? nullptr : std::make_shared<const std::u16string>(ToUtf16(value)));
        declaredPrefixes_.emplace_back();
      } else if (name.starts_with("xmlns:")) {
        const std::string_view prefix = name.substr(6);
        if (value.empty() || prefix == "xmlns" || prefix.find(':') != prefix.npos) {
          Refuse(XmlParseStatus::Malformed,
                 "invalid namespace declaration \"" + std::string(name) + "\"");
          return false;
        }
        prefixBindings_[std::string(prefix)].push_back(
            std::make_shared<const std::u16string>(ToUtf16(value)));
        declaredPrefixes_.emplace_back(prefix);
      } else {
        continue;
      }
      ++count;
    }
    declarationCounts_.push_back(count);
    return true;
  }

  bool ResolveElementNamespace(std::string_view name, NamespaceUri& namespaceUri) {
    std::string_view prefix;
    if (!SplitPrefix(name, prefix) || prefix == "xmlns") {
      Refuse(XmlParseStatus::Malformed, "invalid element name \"" + std::string(name) + "\"");
      return false;
    }
    if (prefix.empty()) {
      if (!defaultNamespaces_.empty()) namespaceUri = defaultNamespaces_.back();
      return true;
    }
    return LookUpPrefix(prefix, namespaceUri);
  }

  bool CheckAttributePrefixes(const XML_Char** attributes) {
    for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
      const std::string_view name = attribute[0];
      std::string_view prefix;
      if (!SplitPrefix(name, prefix)) {
        Refuse(XmlParseStatus::Malformed, "invalid attribute name \"" + std::string(name) + "\"");
        return false;
      }
      NamespaceUri ignored;
      if (!prefix.empty() && prefix != "xmlns" && !LookUpPrefix(prefix, ignored)) return false;
    }
    return true;
  }

  bool LookUpPrefix(std::string_view prefix, NamespaceUri& namespaceUri) {
    if (prefix == kXmlPrefix) {
      if (xmlNamespace_ == nullptr) {
        xmlNamespace_ = std::make_shared<const std::u16string>(kXmlNamespace);
      }
      namespaceUri = xmlNamespace_;
      return true;
    }
    const auto binding = prefixBindings_.find(std::string(prefix));
    if (binding == prefixBindings_.end() || binding->second.empty()) {
      Refuse(XmlParseStatus::Malformed,
             "undeclared namespace prefix \"" + std::string(prefix) + "\"");
      return false;
    }
    namespaceUri = binding->second.back();
    return true;
  }

  XML_Parser parser_;
  Node* current_;  // where the next node goes
  const XmlParseLimits& limits_;
  std::size_t depth_ = 0;
  std::u16string pendingText_;
  bool pendingHasContent_ = false;
  // Namespace scopes: what each open element declared, undone when it ends.
  std::vector<NamespaceUri> defaultNamespaces_;
  std::unordered_map<std::string, std::vector<NamespaceUri>> prefixBindings_;
  std::vector<std::string> declaredPrefixes_;  // "" for a default namespace declaration
  std::vector<std::size_t> declarationCounts_;
  NamespaceUri xmlNamespace_;
  ParseOutcome outcome_;
  std::exception_ptr failure_;
};

ParseOutcome TooLarge(const XmlParseLimits& limits) {
  ParseOutcome outcome;
  outcome.result.status = XmlParseStatus::TooLarge;
  outcome.result.message =
      "input larger than the limit of " + std::to_string(limits.maxBytes) + " bytes";
  return outcome;
}

ParseOutcome Parse(Node& document, const char* bytes, std::size_t length, const char* encoding,
                   const XmlParseLimits& limits) {
  const ParserHandle parser(XML_ParserCreate(encoding));
  if (parser == nullptr) throw std::bad_alloc();
  TreeBuilder builder(parser.get(), document, limits);
  return builder.Run(bytes, length);
}

}  // namespace

ParseOutcome ParseUtf8Into(Node& document, std::string_view utf8, const XmlParseLimits& limits) {
  if (utf8.size() > limits.maxBytes) return TooLarge(limits);
  // The declared encoding is overridden: the text is UTF-8 whatever its declaration says.
  return Parse(document, utf8.data(), utf8.size(), "UTF-8", limits);
}

ParseOutcome ParseUtf16Into(Node& document, std::u16string_view text,
                            const XmlParseLimits& limits) {
  // The limit counts the bytes the text would take in UTF-8, as it does for UTF-8 input.
  if (Utf8LengthUpTo(text, limits.maxBytes) > limits.maxBytes) return TooLarge(limits);
  const char* encoding = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  return Parse(document, reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t),
               encoding, limits);
}

}  // namespace quenlo::platform::dom
