#include "expat_parser.h"

#include <expat.h>

#include <bit>
#include <climits>
#include <exception>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "document_link.h"
#include "dom_strings.h"
#include "element.h"
#include "node_store.h"
#include "text_node.h"

namespace quenlo::platform::dom {
namespace {

constexpr std::string_view kXmlPrefix = "xml";
constexpr std::u16string_view kXmlNamespace = u"http://www.w3.org/XML/1998/namespace";

struct ParserDeleter {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using ParserHandle = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

// One expat parser per thread, reset between texts instead of made and freed for each: reset
// keeps its tables and buffers, and making one costs more than parsing a short reply.
XML_Parser ReadyParser(const char* encoding) {
  thread_local ParserHandle parser;
  // Fixed per thread rather than drawn for every text as a new parser would; still unknown to
  // whoever writes the text, which is what keeps expat's tables safe from colliding names.
  thread_local const unsigned long salt = [] {
    std::random_device random;
    return static_cast<unsigned long>(random()) | 1u;
  }();
  if (parser == nullptr || XML_ParserReset(parser.get(), encoding) != XML_TRUE) {
    parser.reset(XML_ParserCreate(encoding));
    if (parser == nullptr) throw std::bad_alloc();
  }
  XML_SetHashSalt(parser.get(), salt);
  return parser.get();
}

bool IsXmlWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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

// Working memory of a parse, kept per thread beside the parser so that a short reply allocates
// none of it again.
struct ParseScratch {
  std::u16string pendingText;
  std::u16string name;
  // Namespace scopes: what each open element declared, undone when it ends.
  std::vector<const Name*> defaultNamespaces;
  std::unordered_map<std::string, std::vector<const Name*>> prefixBindings;
  std::vector<std::string> declaredPrefixes;  // "" for a default namespace declaration
  std::vector<std::size_t> declarationCounts;

  // A refused text may have stopped anywhere.
  ParseScratch& Cleared() noexcept {
    pendingText.clear();
    defaultNamespaces.clear();
    prefixBindings.clear();
    declaredPrefixes.clear();
    declarationCounts.clear();
    return *this;
  }
};

// Most names and texts are ASCII: widened directly, the rest decoded in full.
void Widen(std::string_view utf8, std::u16string& out) {
  out.resize(utf8.size());
  for (std::size_t index = 0; index < utf8.size(); ++index) {
    const auto byte = static_cast<unsigned char>(utf8[index]);
    if (byte >= 0x80) {
      out.clear();
      AppendUtf8AsUtf16(utf8, out);
      return;
    }
    out[index] = byte;
  }
}

class TreeBuilder {
 public:
  // Without a parent, the root element is set aside in `root`, which then holds its reference.
  // nodesMade counts the nodes placed in the store, which the caller notes (Node::NoteMade).
  TreeBuilder(XML_Parser parser, ParseScratch& scratch, NodeStore& store, Node* parent,
              Element*& root, std::size_t& nodesMade, const XmlParseLimits& limits)
      : parser_(parser),
        store_(store),
        current_(parent),
        root_(root),
        nodesMade_(nodesMade),
        limits_(limits),
        pendingText_(scratch.pendingText),
        nameScratch_(scratch.name),
        defaultNamespaces_(scratch.defaultNamespaces),
        prefixBindings_(scratch.prefixBindings),
        declaredPrefixes_(scratch.declaredPrefixes),
        declarationCounts_(scratch.declarationCounts) {
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
    const Name* namespaceUri = nullptr;
    if (!ResolveElementNamespace(name, namespaceUri) || !CheckAttributePrefixes(attributes)) return;

    const Name* tag = Intern(name);
    Element* element =
        Element::Create(store_, true, tag, namespaceUri, PlaceAttributes(attributes));
    ++nodesMade_;
    if (current_ != nullptr) {
      current_->AdoptLastChild(element);
    } else {
      root_ = element;
    }
    current_ = element;
  }

  const Name* Intern(std::string_view utf8) {
    Widen(utf8, nameScratch_);
    return store_.InternWhileBuilding(nameScratch_);
  }

  std::u16string_view PlaceText(std::string_view utf8) {
    char16_t* text = store_.AllocateText(utf8.size());
    std::size_t used = 0;
    for (const char c : utf8) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        used = 0;
        break;
      }
      text[used++] = static_cast<char16_t>(c);
    }
    if (used != utf8.size()) {  // not plain ASCII: decoded through the general path
      nameScratch_.clear();
      AppendUtf8AsUtf16(utf8, nameScratch_);
      used = nameScratch_.size();
      std::copy(nameScratch_.begin(), nameScratch_.end(), text);
    }
    store_.ShrinkLastText(text, utf8.size(), used);
    return {text, used};
  }

  AttributeList PlaceAttributes(const XML_Char** attributes) {
    std::uint32_t count = 0;
    while (attributes[2 * count] != nullptr) ++count;
    if (count == 0) return {};
    auto* entries = static_cast<AttributeEntry*>(
        store_.Allocate(count * sizeof(AttributeEntry), alignof(AttributeEntry)));
    for (std::uint32_t index = 0; index < count; ++index) {
      const Name* name = Intern(attributes[2 * index]);
      const std::u16string_view value = PlaceText(attributes[2 * index + 1]);
      new (entries + index) AttributeEntry{name, StoredText::InBlock(value)};
    }
    return AttributeList(entries, count);
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
    if (pendingHasContent_ && current_ != nullptr) {
      // Copied at its exact size; the buffer is kept for the next run of text.
      char16_t* text = store_.AllocateText(pendingText_.size());
      std::copy(pendingText_.begin(), pendingText_.end(), text);
      current_->AdoptLastChild(
          TextNode::CreateInBlock(store_, std::u16string_view(text, pendingText_.size())));
      ++nodesMade_;
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
        defaultNamespaces_.push_back(value.empty() ? nullptr : Intern(value));
        declaredPrefixes_.emplace_back();
      } else if (name.starts_with("xmlns:")) {
        const std::string_view prefix = name.substr(6);
        if (value.empty() || prefix == "xmlns" || prefix.find(':') != prefix.npos) {
          Refuse(XmlParseStatus::Malformed,
                 "invalid namespace declaration \"" + std::string(name) + "\"");
          return false;
        }
        prefixBindings_[std::string(prefix)].push_back(Intern(value));
        declaredPrefixes_.emplace_back(prefix);
      } else {
        continue;
      }
      ++count;
    }
    declarationCounts_.push_back(count);
    return true;
  }

  bool ResolveElementNamespace(std::string_view name, const Name*& namespaceUri) {
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
      const Name* ignored = nullptr;
      if (!prefix.empty() && prefix != "xmlns" && !LookUpPrefix(prefix, ignored)) return false;
    }
    return true;
  }

  bool LookUpPrefix(std::string_view prefix, const Name*& namespaceUri) {
    if (prefix == kXmlPrefix) {
      namespaceUri = store_.InternWhileBuilding(kXmlNamespace);
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
  NodeStore& store_;
  Node* current_;  // where the next node goes
  Element*& root_;
  std::size_t& nodesMade_;
  const XmlParseLimits& limits_;
  std::size_t depth_ = 0;
  bool pendingHasContent_ = false;
  std::u16string& pendingText_;
  std::u16string& nameScratch_;
  std::vector<const Name*>& defaultNamespaces_;
  std::unordered_map<std::string, std::vector<const Name*>>& prefixBindings_;
  std::vector<std::string>& declaredPrefixes_;
  std::vector<std::size_t>& declarationCounts_;
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

// The nodes go into a new store, which they hold from then on: below parent, or else under a
// root element handed to the caller, with nothing left behind when the text is refused.
ParseOutcome Parse(std::shared_ptr<DocumentLink> link, Node* parent, Element** root,
                   const char* bytes, std::size_t length, const char* encoding,
                   const XmlParseLimits& limits) {
  NodeStore* store = NodeStore::Create(std::move(link));
  Element* made = nullptr;
  std::size_t nodesMade = 0;
  try {
    thread_local ParseScratch scratch;
    TreeBuilder builder(ReadyParser(encoding), scratch.Cleared(), *store, parent, made, nodesMade,
                        limits);
    const ParseOutcome outcome = builder.Run(bytes, length);
    Node::NoteMade(*store, nodesMade);
    if (root != nullptr && outcome.result.status == XmlParseStatus::Ok) {
      *root = std::exchange(made, nullptr);
    }
    if (made != nullptr) made->ReleaseReference();
    store->LetGo();
    return outcome;
  } catch (...) {
    Node::NoteMade(*store, nodesMade);
    if (made != nullptr) made->ReleaseReference();
    store->LetGo();
    throw;
  }
}

}  // namespace

ParseOutcome ParseUtf8Into(Node& document, std::string_view utf8, const XmlParseLimits& limits) {
  if (utf8.size() > limits.maxBytes) return TooLarge(limits);
  // The declared encoding is overridden: the text is UTF-8 whatever its declaration says.
  return Parse(document.Store().SharedLink(), &document, nullptr, utf8.data(), utf8.size(), "UTF-8",
               limits);
}

ParseOutcome ParseUtf8Alone(std::string_view utf8, const XmlParseLimits& limits, Element*& root) {
  root = nullptr;
  if (utf8.size() > limits.maxBytes) return TooLarge(limits);
  // A link to no document: the tree's nodes answer that they have none.
  return Parse(std::make_shared<DocumentLink>(), nullptr, &root, utf8.data(), utf8.size(), "UTF-8",
               limits);
}

ParseOutcome ParseUtf16Into(Node& document, std::u16string_view text,
                            const XmlParseLimits& limits) {
  // The limit counts the bytes the text would take in UTF-8, as it does for UTF-8 input.
  if (Utf8LengthUpTo(text, limits.maxBytes) > limits.maxBytes) return TooLarge(limits);
  const char* encoding = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  return Parse(document.Store().SharedLink(), &document, nullptr,
               reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t), encoding,
               limits);
}

}  // namespace quenlo::platform::dom
