#include "text_parser.h"

#include <bit>
#include <memory>
#include <optional>
#include <utility>

#include "document_link.h"
#include "dom_strings.h"
#include "element.h"
#include "expat_reader.h"
#include "node_store.h"
#include "pugixml_reader.h"
#include "tree_builder.h"

namespace quenlo::platform::dom {
namespace {

ParseOutcome TooLarge(const XmlParseLimits& limits) {
  ParseOutcome outcome;
  outcome.result.status = XmlParseStatus::TooLarge;
  outcome.result.message =
      "input larger than the limit of " + std::to_string(limits.maxBytes) + " bytes";
  return outcome;
}

// This thread's parse scratch. Not inlined: each mention of a thread-local in the code that
// would take it in costs a call into the loader, and a parse mentions its scratch many times.
[[gnu::noinline]] ParseScratch& ThreadScratch() {
  thread_local ParseScratch scratch;
  return scratch;
}

// Builds with one reader into a new store, which the nodes hold from then on: below parent, or
// else under a root element handed to the caller. read(builder) gives the outcome, or nothing
// when the reader passes the text over, which only a build without a parent may do. Without a
// parent, a text refused or passed over leaves no node behind. Without a parent, too, the link
// is the build's alone until it hands out the root.
template <class Read>
std::optional<ParseOutcome> Build(const std::shared_ptr<DocumentLink>& link, Node* parent,
                                  Element** root, const XmlParseLimits& limits, Read&& read) {
  NodeStore* store = NodeStore::Create(link);
  store->SetLinkAlone(parent == nullptr);
  Element* made = nullptr;
  std::size_t nodesMade = 0;
  std::optional<ParseOutcome> outcome;
  try {
    TreeBuilder builder(ThreadScratch().Cleared(), *store, parent, made, nodesMade, limits);
    outcome = read(builder);
  } catch (...) {
    Node::NoteMade(*store, nodesMade);
    if (made != nullptr) made->ReleaseReference();
    store->LetGo();
    throw;
  }
  Node::NoteMade(*store, nodesMade);
  store->SetLinkAlone(false);
  if (root != nullptr && outcome && outcome->result.status == XmlParseStatus::Ok) {
    *root = std::exchange(made, nullptr);
  }
  if (made != nullptr) made->ReleaseReference();
  store->LetGo();
  return outcome;
}

}  // namespace

ParseOutcome ParseUtf8Alone(std::string_view utf8, const XmlParseLimits& limits, Element*& root) {
  root = nullptr;
  if (utf8.size() > limits.maxBytes) return TooLarge(limits);
  // A link to no document: the tree's nodes answer that they have none.
  const auto link = MakeDocumentLink();
  auto quickly = [utf8](TreeBuilder& builder) -> std::optional<ParseOutcome> {
    if (!ReadWithPugixml(builder, utf8)) return std::nullopt;
    return ParseOutcome{};
  };
  if (auto outcome = Build(link, nullptr, &root, limits, quickly)) return *outcome;
  // The declared encoding is overridden: the text is UTF-8 whatever its declaration says.
  return *Build(link, nullptr, &root, limits, [utf8](TreeBuilder& builder) {
    return std::optional(ReadWithExpat(builder, utf8.data(), utf8.size(), "UTF-8"));
  });
}

ParseOutcome ParseUtf16Into(Node& document, std::u16string_view text,
                            const XmlParseLimits& limits) {
  // The limit counts the bytes the text would take in UTF-8, as it does for UTF-8 input.
  if (Utf8LengthUpTo(text, limits.maxBytes) > limits.maxBytes) return TooLarge(limits);
  const char* encoding = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  const auto read = [&](TreeBuilder& builder) {
    return std::optional(ReadWithExpat(builder, reinterpret_cast<const char*>(text.data()),
                                       text.size() * sizeof(char16_t), encoding));
  };
  return *Build(document.Store().SharedLink(), &document, nullptr, limits, read);
}

}  // namespace quenlo::platform::dom
