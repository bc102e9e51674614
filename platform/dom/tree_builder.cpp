#include "tree_builder.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "dom_strings.h"
#include "element.h"
#include "tag_summary.h"
#include "text_node.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {
namespace {

constexpr std::string_view kXmlPrefix = "xml";
constexpr std::u16string_view kXmlNamespace = u"http://www.w3.org/XML/1998/namespace";

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

}  // namespace

ReadName ReadName::Scan(const char* name) noexcept {
  ReadName read;
  std::uint32_t hash = TagSummary::kHashStart;
  unsigned char high = 0;
  const char* end = name;
  for (; *end != '\0'; ++end) {
    const auto byte = static_cast<unsigned char>(*end);
    high |= byte;
    read.hasColon = read.hasColon || byte == ':';
    hash = TagSummary::HashStep(hash, byte);
  }
  read.text = {name, static_cast<std::size_t>(end - name)};
  read.ascii = high < 0x80;
  read.asciiHash = hash;
  return read;
}

ParseScratch& ParseScratch::Cleared() noexcept {
  pendingText.clear();
  defaultNamespaces.clear();
  prefixBindings.clear();
  declaredPrefixes.clear();
  declarations.clear();
  return *this;
}

TreeBuilder::TreeBuilder(ParseScratch& scratch, NodeStore& store, Node* parent, Element*& root,
                         std::size_t& nodesMade, const XmlParseLimits& limits)
    : store_(store),
      current_(parent),
      root_(root),
      nodesMade_(nodesMade),
      limits_(limits),
      scratch_(scratch),
      names_(*scratch.names) {}

void TreeBuilder::Refuse(XmlParseStatus status, std::string reason) {
  if (Refused()) return;
  status_ = status;
  reason_ = std::move(reason);
}

bool TreeBuilder::StartElement(const ReadName& name, std::span<const ReadAttribute> attributes) {
  FlushText();
  if (++depth_ > limits_.maxDepth) {
    Refuse(XmlParseStatus::TooDeep,
           "elements nested deeper than " + std::to_string(limits_.maxDepth) + " levels");
    return false;
  }
  const Name* namespaceUri = nullptr;
  if (!ResolveNamespaces(name, attributes, namespaceUri)) return false;

  const Name* tag = Intern(name);
  Element* element = Element::Create(store_, true, tag, namespaceUri, PlaceAttributes(attributes));
  ++nodesMade_;
  if (current_ != nullptr) {
    SettleLeafText();
    current_->AdoptLastChild(element);
  } else {
    root_ = element;
  }
  current_ = element;
  return true;
}

// Every element and attribute name of a parse passes here, and nearly all are known: that path
// is kept inline in the callers.
[[gnu::always_inline]] inline const Name* TreeBuilder::Intern(const ReadName& name) {
  if (name.known != nullptr) {
    if (const Name* shared = store_.ShareKnown(*name.known)) return shared;
  }
  return InternUnknown(name);
}

const Name* TreeBuilder::InternUnknown(const ReadName& name) {
  const Name* interned =
      name.ascii ? store_.InternAscii(name.text, name.asciiHash) : Intern(name.text);
  if (name.keyed && NameRegistry::Process().Find(name.text, name.asciiHash) == interned) {
    names_.Keep(name.key, interned);
  }
  return interned;
}

const Name* TreeBuilder::Intern(std::string_view utf8) {
  if (const Name* known = names_.FindLong(utf8)) {
    if (const Name* shared = store_.ShareKnown(*known)) return shared;
  }
  if (!IsAscii(utf8)) {
    scratch_.name.clear();
    AppendUtf8AsUtf16(utf8, scratch_.name);
    return store_.Intern(scratch_.name);
  }
  const std::uint32_t hash = TagSummary::HashOfAscii(utf8);
  const Name* interned = store_.InternAscii(utf8, hash);
  if (NameRegistry::Process().Find(utf8, hash) == interned) names_.KeepLong(utf8, interned);
  return interned;
}

[[gnu::always_inline]] inline std::u16string_view TreeBuilder::PlaceText(const ReadText& text) {
  if (!text.ascii) return PlaceWideText(text.utf8);
  char16_t* units = store_.AllocateText(text.utf8.size());
  WidenAscii(text.utf8, units);
  return {units, text.utf8.size()};
}

std::u16string_view TreeBuilder::PlaceWideText(std::string_view utf8) {
  scratch_.name.clear();
  AppendUtf8AsUtf16(utf8, scratch_.name);
  char16_t* units = store_.AllocateText(scratch_.name.size());
  std::copy(scratch_.name.begin(), scratch_.name.end(), units);
  return {units, scratch_.name.size()};
}

AttributeList TreeBuilder::PlaceAttributes(std::span<const ReadAttribute> attributes) {
  if (attributes.empty()) return {};
  const auto count = static_cast<std::uint32_t>(attributes.size());
  auto* entries = static_cast<AttributeEntry*>(
      store_.Allocate(count * sizeof(AttributeEntry), alignof(AttributeEntry)));
  for (std::uint32_t index = 0; index < count; ++index) {
    const Name* name = Intern(attributes[index].name);
    const std::u16string_view value = PlaceText(attributes[index].value);
    new (entries + index) AttributeEntry{name, StoredText::InBlock(value)};
  }
  return AttributeList(entries, count);
}

void TreeBuilder::EndElement() {
  FlushText();
  if (!scratch_.declarations.empty() && scratch_.declarations.back().depth == depth_) {
    for (std::size_t count = scratch_.declarations.back().count; count > 0; --count) {
      if (scratch_.declaredPrefixes.back().empty()) {
        scratch_.defaultNamespaces.pop_back();
      } else {
        scratch_.prefixBindings[scratch_.declaredPrefixes.back()].pop_back();
      }
      scratch_.declaredPrefixes.pop_back();
    }
    scratch_.declarations.pop_back();
  }
  current_ = current_->Parent();
  --depth_;
}

void TreeBuilder::AppendText(std::string_view utf8) {
  if (!pendingHasContent_) pendingHasContent_ = !IsXmlSpace(utf8);
  AppendUtf8AsUtf16(utf8, scratch_.pendingText);
}

void TreeBuilder::AddWholeText(const ReadText& text) {
  if (current_ == nullptr || IsXmlSpace(text.utf8)) return;
  AddText(PlaceText(text));
}

void TreeBuilder::AddText(std::u16string_view placed) {
  if (current_->Type() == NODE_ELEMENT && current_->FirstChild() == nullptr) {
    auto& element = static_cast<Element&>(*current_);
    if (!element.HasLeafText() && placed.size() <= std::numeric_limits<std::uint32_t>::max()) {
      element.SetLeafText(placed);
      return;
    }
  }
  SettleLeafText();
  current_->AdoptLastChild(TextNode::CreateOverStoreText(store_, true, placed));
  ++nodesMade_;
}

void TreeBuilder::SettleLeafText() {
  if (current_->Type() != NODE_ELEMENT) return;
  // Asked at every element's start, of its parent, which mostly holds no text of its own.
  auto& element = static_cast<Element&>(*current_);
  if (element.HasLeafText() && element.MakeLeafTextNode(true)) ++nodesMade_;
}

// Text made only of white space between elements is layout, not content, and is dropped.
void TreeBuilder::FlushPendingText() {
  if (pendingHasContent_ && current_ != nullptr) {
    // Copied at its exact size; the buffer is kept for the next run of text.
    char16_t* text = store_.AllocateText(scratch_.pendingText.size());
    std::copy(scratch_.pendingText.begin(), scratch_.pendingText.end(), text);
    AddText(std::u16string_view(text, scratch_.pendingText.size()));
  }
  scratch_.pendingText.clear();
  pendingHasContent_ = false;
}

// Without a colon in any name and without an xmlns attribute (nearly every element), the
// element takes the default namespace in scope and none of the rules below has anything to check.
bool TreeBuilder::ResolveNamespaces(const ReadName& name, std::span<const ReadAttribute> attributes,
                                    const Name*& namespaceUri) {
  bool plain = !name.hasColon;
  for (const ReadAttribute& attribute : attributes) {
    plain = plain && !attribute.name.hasColon && attribute.name.text != "xmlns";
  }
  if (plain) {
    if (!scratch_.defaultNamespaces.empty()) namespaceUri = scratch_.defaultNamespaces.back();
    return true;
  }
  return DeclareNamespaces(attributes) && ResolveElementNamespace(name.text, namespaceUri) &&
         CheckAttributePrefixes(attributes);
}

bool TreeBuilder::DeclareNamespaces(std::span<const ReadAttribute> attributes) {
  std::size_t count = 0;
  for (const auto& [readName, readValue] : attributes) {
    const std::string_view name = readName.text;
    const std::string_view value = readValue.utf8;
    if (name == "xmlns") {
      scratch_.defaultNamespaces.push_back(value.empty() ? nullptr : Intern(value));
      scratch_.declaredPrefixes.emplace_back();
    } else if (name.starts_with("xmlns:")) {
      const std::string_view prefix = name.substr(6);
      if (value.empty() || prefix == "xmlns" || prefix.find(':') != prefix.npos) {
        Refuse(XmlParseStatus::Malformed,
               "invalid namespace declaration \"" + std::string(name) + "\"");
        return false;
      }
      scratch_.prefixBindings[std::string(prefix)].push_back(Intern(value));
      scratch_.declaredPrefixes.emplace_back(prefix);
    } else {
      continue;
    }
    ++count;
  }
  if (count > 0) scratch_.declarations.push_back({depth_, count});
  return true;
}

bool TreeBuilder::ResolveElementNamespace(std::string_view name, const Name*& namespaceUri) {
  std::string_view prefix;
  if (!SplitPrefix(name, prefix) || prefix == "xmlns") {
    Refuse(XmlParseStatus::Malformed, "invalid element name \"" + std::string(name) + "\"");
    return false;
  }
  if (prefix.empty()) {
    if (!scratch_.defaultNamespaces.empty()) namespaceUri = scratch_.defaultNamespaces.back();
    return true;
  }
  return LookUpPrefix(prefix, namespaceUri);
}

bool TreeBuilder::CheckAttributePrefixes(std::span<const ReadAttribute> attributes) {
  for (const ReadAttribute& attribute : attributes) {
    const std::string_view name = attribute.name.text;
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

bool TreeBuilder::LookUpPrefix(std::string_view prefix, const Name*& namespaceUri) {
  if (prefix == kXmlPrefix) {
    namespaceUri = store_.Intern(kXmlNamespace);
    return true;
  }
  const auto binding = scratch_.prefixBindings.find(std::string(prefix));
  if (binding == scratch_.prefixBindings.end() || binding->second.empty()) {
    Refuse(XmlParseStatus::Malformed,
           "undeclared namespace prefix \"" + std::string(prefix) + "\"");
    return false;
  }
  namespaceUri = binding->second.back();
  return true;
}

}  // namespace quenlo::platform::dom
