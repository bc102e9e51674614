// Builds a DOM tree from the events of a reader: elements as their tags are read, with their
// attributes decoded, and character data. Tag names stay qualified as written and xmlns
// declarations stay attributes, while the namespace of each element is resolved here from the
// declarations in scope. Whichever reader drives it, the same text gives the same tree and the
// same refusal.
#pragma once

#include <platform/xml_parser.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "attribute_list.h"
#include "name_cache.h"
#include "node_store.h"
#include "xml_chars.h"

namespace quenlo::platform::dom {

class Element;
class Node;

// A name as a reader read it, measured in one pass over its bytes: whether it is ASCII (and then
// its TagSummary hash) and whether it holds a colon, which is all that namespaces look at in
// most names. A reader that keys short names (NameCache) may find the name already made instead.
struct ReadName {
  std::string_view text;
  std::uint32_t asciiHash = 0;  // meaningful for an ASCII name only
  bool ascii = true;
  bool hasColon = false;
  const Name* known = nullptr;  // the registry's, from the name cache
  bool keyed = false;           // key is set: the builder keeps the name it makes under it
  NameKey key;

  static ReadName Scan(const char* name) noexcept;
};

// Character data or a value as a reader decoded it, and whether it is ASCII, which the reader
// tells from the same pass so that the builder widens it without looking at it first.
struct ReadText {
  std::string_view utf8;
  bool ascii = false;

  static ReadText Of(std::string_view utf8) noexcept { return {utf8, IsAscii(utf8)}; }
};

// An attribute as a reader read it, its value decoded.
struct ReadAttribute {
  ReadName name;
  ReadText value;
};

// The copy of a text that a reader parses in place. Kept per thread while small, so that a short
// reply costs no allocation for it, and left unset when made: the copy fills it, and zeroing a
// large reply's first would be a pass over its memory for nothing.
class InputBuffer {
 public:
  // Room for `size` bytes, whatever they held. Throws std::bad_alloc.
  char* Room(std::size_t size) {
    if (size > capacity_) {
      bytes_.reset();  // before the larger block is taken, not after
      bytes_ = std::make_unique_for_overwrite<char[]>(size);
      capacity_ = size;
    }
    return bytes_.get();
  }
  // Lets a large reply's copy go once it has been parsed.
  void LetGoIfLarge() noexcept {
    constexpr std::size_t kLargestKept = 64 * 1024;
    if (capacity_ <= kLargestKept) return;
    bytes_.reset();
    capacity_ = 0;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t capacity_ = 0;
};

// Working memory of a parse, kept per thread beside the reader so that a short reply allocates
// none of it again.
struct ParseScratch {
  std::u16string pendingText;
  std::u16string name;
  // Namespace scopes: what each open element declared, undone when it ends.
  std::vector<const Name*> defaultNamespaces;
  std::unordered_map<std::string, std::vector<const Name*>> prefixBindings;
  std::vector<std::string> declaredPrefixes;  // "" for a default namespace declaration
  // The depth of each open element that declared namespaces, and how many: most declare none,
  // and then cost no entry.
  struct Declarations {
    std::size_t depth;
    std::size_t count;
  };
  std::vector<Declarations> declarations;
  std::vector<ReadAttribute> attributes;  // the reader's, for the element at hand
  InputBuffer input;
  std::unique_ptr<NameCache> names = std::make_unique<NameCache>();  // kept from parse to parse

  // A refused text may have stopped anywhere.
  ParseScratch& Cleared() noexcept;
};

class TreeBuilder {
 public:
  // Without a parent, the root element is set aside in `root`, which then holds its reference.
  // nodesMade counts the nodes placed in the store, which the caller notes (Node::NoteMade).
  TreeBuilder(ParseScratch& scratch, NodeStore& store, Node* parent, Element*& root,
              std::size_t& nodesMade, const XmlParseLimits& limits);

  // False once the text is refused; no event may follow then. Running out of memory throws
  // std::bad_alloc.
  bool StartElement(const ReadName& name, std::span<const ReadAttribute> attributes);
  void EndElement();
  // Character data, which may come in pieces: a run of text ends at the next tag.
  void AppendText(std::string_view utf8);
  // A whole run of text between two tags, from a reader that never splits one.
  void AddWholeText(const ReadText& text);

  // Where a reader collects an element's attributes for StartElement, kept between parses.
  std::vector<ReadAttribute>& Attributes() noexcept { return scratch_.attributes; }
  // Where a reader that parses in place copies the text, kept between parses.
  InputBuffer& Input() noexcept { return scratch_.input; }
  // Where a reader that keys names looks them up.
  const NameCache& Names() const noexcept { return names_; }

  // Notes the first refusal; the reader says where it happened.
  void Refuse(XmlParseStatus status, std::string reason);
  bool Refused() const noexcept { return status_ != XmlParseStatus::Ok; }
  XmlParseStatus Status() const noexcept { return status_; }
  const std::string& Reason() const noexcept { return reason_; }

 private:
  const Name* Intern(const ReadName& name);
  const Name* InternUnknown(const ReadName& name);
  const Name* Intern(std::string_view utf8);
  std::u16string_view PlaceText(const ReadText& text);
  std::u16string_view PlaceWideText(std::string_view utf8);
  AttributeList PlaceAttributes(std::span<const ReadAttribute> attributes);
  // Ends the run of text pending from AppendText, if any (a reader of whole texts leaves none).
  void FlushText() {
    if (!scratch_.pendingText.empty()) FlushPendingText();
  }
  void FlushPendingText();
  // Text placed in the store for the element at hand: its leaf text while it is all the element
  // holds (see Element::SetLeafText), a node otherwise.
  void AddText(std::u16string_view placed);
  // Before the element at hand gains a second child, its leaf text becomes a node.
  void SettleLeafText();
  bool DeclareNamespaces(std::span<const ReadAttribute> attributes);
  bool ResolveNamespaces(const ReadName& name, std::span<const ReadAttribute> attributes,
                         const Name*& namespaceUri);
  bool ResolveElementNamespace(std::string_view name, const Name*& namespaceUri);
  bool CheckAttributePrefixes(std::span<const ReadAttribute> attributes);
  bool LookUpPrefix(std::string_view prefix, const Name*& namespaceUri);

  NodeStore& store_;
  Node* current_;  // where the next node goes
  Element*& root_;
  std::size_t& nodesMade_;
  const XmlParseLimits& limits_;
  std::size_t depth_ = 0;
  bool pendingHasContent_ = false;
  ParseScratch& scratch_;
  NameCache& names_;  // *scratch_.names, held here since the reader asks for every name it reads
  XmlParseStatus status_ = XmlParseStatus::Ok;
  std::string reason_;
};

}  // namespace quenlo::platform::dom
