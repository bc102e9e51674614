#include "node.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <string>
#include <vector>

#include "../allocation_probe.h"
#include "../small_blocks.h"
#include "attribute.h"
#include "document.h"
#include "document_link.h"
#include "dom_strings.h"
#include "element.h"
#include "node_list.h"
#include "node_store.h"
#include "prefetch.h"
#include "serializer.h"
#include "text_node.h"
#include "tree_walk.h"

namespace quenlo::platform::dom {

namespace {

std::atomic<std::uint64_t> shapeGeneration{0};

bool IsXmlSpace(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\n' || unit == u'\r';
}

// msxml reports an element's text without the white space at its two ends (white space is not
// preserved by default); the text nodes in the tree keep theirs.
std::u16string_view TrimXmlSpace(std::u16string_view text) {
  while (!text.empty() && IsXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::uint64_t Node::ShapeGeneration() noexcept {
  return shapeGeneration.load(std::memory_order_relaxed);
}

void Node::NoteShapeChange() noexcept { shapeGeneration.fetch_add(1, std::memory_order_relaxed); }

Node::Node(DOMNodeType type, NodeStore& store, bool inBlock, std::uint32_t tagHash) noexcept
    : type_(static_cast<std::uint8_t>(type & 0x7F)),
      inBlock_(inBlock ? 1 : 0),
      tagHash_(static_cast<std::uint16_t>(tagHash)),
      store_(&store) {
  if (!inBlock) NoteMade(store, 1);
}

void Node::NoteMade(NodeStore& store, std::size_t count) noexcept {
  store.Hold(count);
  probe::NoteDomNodes(static_cast<long>(count));
}

void* Node::HeapMemory(std::size_t size) {
  void* memory = small_blocks::Take(size);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

// What Memory was asked for when the node was made on the heap.
std::size_t Node::HeapSize(DOMNodeType type) noexcept {
  switch (type) {
    case NODE_ELEMENT:
      return sizeof(Element);
    case NODE_TEXT:
      return sizeof(TextNode);
    case NODE_ATTRIBUTE:
      return sizeof(AttributeNode);
    default:
      return sizeof(Document);
  }
}

DocumentLink& Node::Link() const noexcept { return store_->Link(); }

// Children are released by Destroy or RemoveChildren before a node is deleted.
Node::~Node() = default;

Node* Node::FromInterface(IUnknown* unknown) noexcept {
  if (unknown == nullptr) return nullptr;
  void* node = nullptr;
  if (FAILED(unknown->QueryInterface(IID_QuenloDomNode, &node))) return nullptr;
  return static_cast<Node*>(node);
}

void Node::AdoptLastChild(Node* child) noexcept {
  child->parent_ = this;
  child->nextSibling_ = nullptr;
  if (firstChild_ == nullptr) {
    // Linked before it is published: an element's leaf text turns into its node while readers
    // on other threads may be looking (see FirstChild).
    child->previousOrLast_ = child;
    __atomic_store_n(&firstChild_, child, __ATOMIC_RELEASE);
  } else {
    Node* last = firstChild_->previousOrLast_;
    last->nextSibling_ = child;
    child->previousOrLast_ = last;
    firstChild_->previousOrLast_ = child;
  }
  if (child->type_ == NODE_ELEMENT) mayHoldElements_ = true;
}

void Node::Unlink() noexcept {
  if (parent_->type_ == NODE_ELEMENT) static_cast<Element*>(parent_)->DropLeafText();
  Node* first = parent_->firstChild_;
  if (this == first) {
    parent_->firstChild_ = nextSibling_;
  } else {
    previousOrLast_->nextSibling_ = nextSibling_;
  }
  if (nextSibling_ != nullptr) {
    nextSibling_->previousOrLast_ = previousOrLast_;
  } else if (this != first) {
    first->previousOrLast_ = previousOrLast_;  // the previous sibling is the last child now
  }
  parent_ = nextSibling_ = previousOrLast_ = nullptr;
}

NodeStore* Node::Free(Node* node) noexcept {
  NodeStore* store = node->store_;
  if (node->inBlock_) {
    // The memory goes with the store; only memory the node came to own needs its destructor.
    if (node->OwnsMemory()) node->~Node();
    return store;
  }
  const DOMNodeType type = node->Type();
  void* memory = dynamic_cast<void*>(node);  // the whole object starts before its Node part
  node->~Node();
  small_blocks::Give(memory, HeapSize(type));
  return store;
}

void Node::NoteFreed(NodeStore* store, std::size_t count) noexcept {
  if (count == 0) return;
  probe::NoteDomNodes(-static_cast<long>(count));
  store->LetGo(count);
}

// Depth first in document order, without recursion or memory, following the links of dead
// nodes as they stand instead of rewriting them. A parse laid its nodes out in document order,
// so the walk reads memory forward, and a dead node in a store's blocks is only read: none of
// its memory has to be written back. A tree's nodes mostly share one store, whose holds are
// dropped together once the run of nodes from that store ends, rather than one atomic step per
// node.
void Node::DisposeDescendants(Node& top, bool alsoTop) noexcept {
  NodeStore* store = nullptr;
  std::size_t freed = 0;
  const auto free = [&](Node* node) {
    NodeStore* from = Free(node);
    if (from != store) {
      NoteFreed(store, freed);
      store = from;
      freed = 0;
    }
    ++freed;
  };
  // The parent's reference to a node the walk did not go below goes: a node nobody else holds
  // dies with its descendants (it has none unless its last other holder let go only now), one
  // held elsewhere becomes a free-standing tree.
  const auto release = [&](Node* node) {
    if (!node->SoleReference()) {
      // Links are cleared before the reference goes: once it has, another holder may free it.
      node->parent_ = node->nextSibling_ = node->previousOrLast_ = nullptr;
      if (!node->DropReference()) return;
    }
    if (node->firstChild_ == nullptr) {
      free(node);
    } else {
      DisposeDescendants(*node, true);
    }
  };

  Node* node = top.firstChild_;
  top.firstChild_ = nullptr;
  top.mayHoldElements_ = false;
  while (node != nullptr) {
    PrefetchAhead(node);
    // Nobody else can take a reference to a node only its parent holds (see DropReference), so
    // it stays dead while the walk is below it.
    if (node->firstChild_ != nullptr && node->SoleReference()) {
      node = node->firstChild_;
      continue;
    }
    // The subtree of `node` is done: on to its next sibling, or up, freeing each parent whose
    // last child this was.
    for (bool wentBelow = false;; wentBelow = true) {
      Node* next = node->nextSibling_;
      Node* parent = node->parent_;
      if (wentBelow) {
        free(node);
      } else {
        release(node);
      }
      if (next != nullptr) {
        node = next;
        break;
      }
      if (parent == &top) {
        node = nullptr;
        break;
      }
      node = parent;
    }
  }
  if (alsoTop) free(&top);
  NoteFreed(store, freed);
}

void Node::Destroy() noexcept { DisposeDescendants(*this, true); }

void Node::RemoveChildren() noexcept {
  if (type_ == NODE_ELEMENT) static_cast<Element*>(this)->DropLeafText();
  // A node without children loses none: the shape stays, and no locked step moves it on.
  if (firstChild_ == nullptr) return;
  NoteShapeChange();
  DisposeDescendants(*this, false);
}

HRESULT Node::MakeLeafTextNode() noexcept {
  if (type_ != NODE_ELEMENT) return S_OK;
  return Guarded([this] {
    static_cast<Element*>(this)->MakeLeafTextNode(false);
    return S_OK;
  });
}

bool Node::Accepts(const Node&) const noexcept { return false; }

HRESULT HandOut(Node* node, IXMLDOMNode** out) noexcept {
  if (out == nullptr) return E_INVALIDARG;
  if (node == nullptr) {
    *out = nullptr;
    return S_FALSE;
  }
  node->AddReference();
  *out = node->AsNode();
  return S_OK;
}

HRESULT Node::GetNodeValue(VARIANT* value) {
  if (value == nullptr) return E_INVALIDARG;
  VariantInit(value);
  value->vt = VT_NULL;
  return S_FALSE;
}

HRESULT Node::GetParentNode(IXMLDOMNode** parent) noexcept { return HandOut(parent_, parent); }

HRESULT Node::GetChildNodes(IXMLDOMNodeList** children) {
  if (children == nullptr) return E_INVALIDARG;
  if (const HRESULT made = MakeLeafTextNode(); FAILED(made)) return made;
  std::vector<Node*> nodes;
  for (Node* child = FirstChild(); child != nullptr; child = child->nextSibling_) {
    nodes.push_back(child);
  }
  *children = NodeList::Create(std::move(nodes));
  return S_OK;
}

HRESULT Node::GetFirstChild(IXMLDOMNode** child) noexcept {
  if (child == nullptr) return E_INVALIDARG;
  if (const HRESULT made = MakeLeafTextNode(); FAILED(made)) {
    *child = nullptr;
    return made;
  }
  return HandOut(FirstChild(), child);
}

HRESULT Node::GetNextSibling(IXMLDOMNode** sibling) noexcept {
  return HandOut(nextSibling_, sibling);
}

HRESULT Node::GetAttributes(IXMLDOMNamedNodeMap** attributes) {
  if (attributes == nullptr) return E_INVALIDARG;
  *attributes = nullptr;
  return S_FALSE;
}

HRESULT Node::GetOwnerDocument(IXMLDOMDocument** document) noexcept {
  if (document == nullptr) return E_INVALIDARG;
  *document = Link().Acquire();
  return *document != nullptr ? S_OK : S_FALSE;
}

// A childless node contains nothing but itself, which keeps building a deep chain at its tip
// linear; only appending a subtree walks up from the new parent.
bool Node::ContainsOrIs(const Node& subtree, const Node& node) noexcept {
  if (subtree.firstChild_ == nullptr) return &subtree == &node;
  for (const Node* ancestor = &node; ancestor != nullptr; ancestor = ancestor->parent_) {
    if (ancestor == &subtree) return true;
  }
  return false;
}

HRESULT Node::AppendChild(IXMLDOMNode* newChild, IXMLDOMNode** appended) noexcept {
  if (appended != nullptr) *appended = nullptr;
  Node* child = FromInterface(newChild);
  if (child == nullptr) return E_INVALIDARG;
  if (!Accepts(*child)) return E_FAIL;
  if (ContainsOrIs(*child, *this)) return E_INVALIDARG;
  if (const HRESULT made = MakeLeafTextNode(); FAILED(made)) return made;
  if (&child->Link() != &Link()) Link().Tags().NoteForeignChild();
  if (child->parent_ != nullptr) {
    child->Unlink();  // the old parent's reference moves to the new one
  } else {
    child->AddReference();
  }
  AdoptLastChild(child);
  NoteShapeChange();
  if (appended != nullptr) HandOut(child, appended);
  return S_OK;
}

HRESULT Node::HasChildNodes(VARIANT_BOOL* has) noexcept {
  if (has == nullptr) return E_INVALIDARG;
  const bool any = FirstChild() != nullptr ||
                   (type_ == NODE_ELEMENT && static_cast<Element*>(this)->HasLeafText());
  *has = any ? VARIANT_TRUE : VARIANT_FALSE;
  return any ? S_OK : S_FALSE;
}

HRESULT Node::GetText(BSTR* text) {
  if (text == nullptr) return E_INVALIDARG;
  // Nearly every element read for its text holds nothing else: copied without a walk. Its text
  // is its leaf text (see Element::SetLeafText) or, once made, its one text node.
  const Node* first = FirstChild();
  if (first == nullptr) return CopyToBstr(TrimXmlSpace(TextData()), text);
  if (first->nextSibling_ == nullptr && first->type_ == NODE_TEXT) {
    return CopyToBstr(TrimXmlSpace(first->TextData()), text);
  }
  // Measured first so that the result is allocated once, at its final size.
  std::size_t length = 0;
  ForEachText(*this, [&length](std::u16string_view data) { length += data.size(); });
  if (length > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY;
  *text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (*text == nullptr) return E_OUTOFMEMORY;
  OLECHAR* cursor = *text;
  // Each pass takes every text once (see WalkSubtree), so the second finds the length the first
  // measured; bounded all the same.
  OLECHAR* const end = cursor + length;
  ForEachText(*this, [&cursor, end](std::u16string_view data) {
    const std::size_t room = static_cast<std::size_t>(end - cursor);
    cursor = std::copy_n(data.begin(), std::min(data.size(), room), cursor);
  });
  const std::u16string_view trimmed =
      TrimXmlSpace({*text, static_cast<std::size_t>(cursor - *text)});
  if (trimmed.size() == length) return S_OK;
  BSTR shorter = SysAllocStringLen(trimmed.data(), static_cast<UINT>(trimmed.size()));
  SysFreeString(*text);
  *text = shorter;
  return shorter != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT Node::GetXml(BSTR* xml) { return XmlOf(*this, xml); }

HRESULT Node::GetNamespaceUri(BSTR* uri) { return NoBstr(uri); }

HRESULT Node::GetBaseName(BSTR* name) { return NoBstr(name); }

}  // namespace quenlo::platform::dom
