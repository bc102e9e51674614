// What every DOM node shares: its reference count, its place in a tree and the IXMLDOMNode
// operations; and, here in one place, the invariants the whole DOM keeps. A change to
// platform/dom/ keeps every one of them.
//
// Nodes. A parent owns one reference to each child; a child points back only at its parent and,
// through a weak link, at its document, so no reference cycle forms, and a child someone still
// holds becomes a free-standing tree when its parent goes. Every live node holds its NodeStore
// once (NoteMade); the store frees itself with its last holder.
//
// Blocks. A parse bumps its nodes and texts out of the blocks of a store of its own; only the
// parsing thread allocates there, and only until the parse hands out its root. The blocks are the
// store's alone and go only with it, never node by node: a node in them runs its destructor only
// if it came to own memory (OwnsMemory). Whichever thread frees the store gives its blocks to its
// own per-thread shelf (block_cache), which no other thread touches and which holds at most
// kKeptBytes. Nodes made through the document's calls live on the heap and take only names from
// their store.
//
// Names. One text has one Name per store, so names compare by pointer: the process registry's
// while it has room, the store's own only once the registry has refused that text (see
// NodeStore::InternUnits). A Name outlives every node pointing at it: registry names live until
// the process ends, a store's with the store. That is why the per-thread NameCache and the
// process-wide RecentNames keep registry names only, and compare a name's bytes or text on each
// hit before answering.
//
// Tag filter. A document's TagSummary has a tag's bit set before an element with that tag can be
// reached in any of the document's trees, and bits are never cleared; appending a node of another
// document turns the filter off for good. A clear bit means "none" to every lookup: making an
// element without NoteTag makes lookups miss it silently.
//
// Leaf texts. An element whose content is one text (parsed, or set by put_text) keeps it as leaf
// text instead of a child node; the leaf text is the content only while FirstChild() is null.
// It becomes a text node (MakeLeafTextNode) before any child is handed out, added or removed.
// That change is the only one another thread reading the same tree may meet: the node is linked
// completely before a release store of firstChild_ publishes it, readers load FirstChild() once
// (acquire) and take the leaf text only if it was null, and callers other than a parse make the
// node under one mutex, so that a second maker finds the first one's. Any other change to a tree
// requires that no other thread is reading it.
//
// Shape counter. ShapeGeneration moves on whenever any tree gains or loses a node once it can be
// reached (appendChild, removing children, a document loading new text); a builder of a tree
// nobody can reach yet (a parse) skips it, and loadXML notes one change at the end. It
// invalidates every position and length an ElementList remembers (ElementList::Revalidate);
// anything else that remembers a place in a tree checks it the same way. A leaf text becoming its
// node does not move it: it adds no element, and lists hold elements only.
//
// Each of these pays for itself in instructions (scripts/bench-instructions, switched off one at a
// time): the name registry 17-64% on every measure but the serialiser (parse300 9,648 -> 15,792),
// the name cache 15-35% on every parse, leaf texts 4-15% (Refer 37,733 -> 43,420), RecentNames 6.6%
// on Refer, the tag filter 3.5% on the 3 MB result reply (its absent fields), the block cache 2.3%
// on the 300-byte parse (more in time: pages the kernel maps and faults in, which callgrind does
// not count); without the shape counter a list walks from its root for every item, and the result
// reply's read turns quadratic.
#pragma once

#include <platform/msxml.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

#include "../allocation_probe.h"
#include "node_store.h"
#include "ref_counted.h"

namespace quenlo::platform::dom {

class DocumentLink;

// Asked for through QueryInterface so that appendChild accepts only this DOM's own nodes, by
// FromInterface alone. Answered without a reference: the caller's own keeps the node, and a
// reference counted up and down is a locked step each way, on every node a request appends.
inline constexpr IID IID_QuenloDomNode = {
    0x6A1C3E52, 0x90B4, 0x4D7E, {0x8B, 0x21, 0x5F, 0x0C, 0x73, 0xD9, 0x2E, 0x41}};

class Node : public RefCounted {
 public:
  // Kept as a field, not asked of a virtual function: every tree walk tests it on every node.
  DOMNodeType Type() const noexcept { return static_cast<DOMNodeType>(type_); }
  // The low bits of an element's tag hash (see TagSummary::HashOf), 0 for the other types: a
  // search for a tag turns most other elements away without reading their names.
  std::uint16_t TagHash() const noexcept { return tagHash_; }
  // False guarantees that no child is an element (so no descendant is: only elements and
  // documents hold children), which lets an element search pass over text unvisited.
  bool MayHoldElements() const noexcept { return mayHoldElements_; }
  virtual IXMLDOMNode* AsNode() noexcept = 0;
  // Whether the node holds memory besides its own and its store's: a node a parse placed in a
  // store's blocks does not until a change gives it a text or an attribute list of its own, and
  // until then it dies without its destructor running.
  virtual bool OwnsMemory() const noexcept { return true; }
  // The text a node holds itself: a text node's data, an element's leaf text (see
  // Element::SetLeafText); empty for the other types. An element's leaf text is its content
  // only while it has no child: readers ask FirstChild once and take this text only if it
  // answers none (see WalkSubtree).
  virtual std::u16string_view TextData() const noexcept { return {}; }

  // The node behind an interface pointer of this DOM, null for anything else. Takes no reference.
  static Node* FromInterface(IUnknown* unknown) noexcept;

  Node* Parent() const noexcept { return parent_; }
  // Read as published: an element's leaf text may turn into its first child while other threads
  // read the element (Element::MakeLeafTextNode), the one change readers may meet.
  Node* FirstChild() const noexcept { return __atomic_load_n(&firstChild_, __ATOMIC_ACQUIRE); }
  Node* NextSibling() const noexcept { return nextSibling_; }
  NodeStore& Store() const noexcept { return *store_; }
  DocumentLink& Link() const noexcept;

  // Memory for a node of `size` bytes: from the store's blocks for a parse (which owns the
  // store while it runs), from the heap otherwise. Throws std::bad_alloc, also when the
  // allocation-failure test hook refuses it: every node is allocated here.
  static void* Memory(NodeStore& store, bool inBlock, std::size_t size, std::size_t alignment) {
    if (!probe::AllocationMayProceed()) throw std::bad_alloc();
    return inBlock ? store.Allocate(size, alignment) : HeapMemory(size);
  }
  // Every live node holds its store and counts among the live nodes. A node on the heap notes
  // itself when made; a parse notes the nodes it placed in blocks all at once when it ends
  // (before any can be freed), sparing an atomic step per node.
  static void NoteMade(NodeStore& store, std::size_t count) noexcept;

  // Takes over the caller's reference to a free-standing node. Builders that fill a tree
  // nobody can be reading yet skip NoteShapeChange; everyone else calls it.
  void AdoptLastChild(Node* child) noexcept;
  // Releases every child; subtrees nobody else holds are freed without recursion.
  void RemoveChildren() noexcept;

  // The shape counter (see the top of this file). One counter for all trees: a node may be moved
  // between trees of different documents, and per-tree counters would need a walk to the top.
  static std::uint64_t ShapeGeneration() noexcept;
  static void NoteShapeChange() noexcept;

  virtual HRESULT GetNodeName(BSTR* name) = 0;
  virtual HRESULT GetNodeValue(VARIANT* value);
  HRESULT GetParentNode(IXMLDOMNode** parent) noexcept;
  HRESULT GetChildNodes(IXMLDOMNodeList** children);
  HRESULT GetFirstChild(IXMLDOMNode** child) noexcept;
  HRESULT GetNextSibling(IXMLDOMNode** sibling) noexcept;
  virtual HRESULT GetAttributes(IXMLDOMNamedNodeMap** attributes);
  virtual HRESULT GetOwnerDocument(IXMLDOMDocument** document) noexcept;
  HRESULT AppendChild(IXMLDOMNode* newChild, IXMLDOMNode** appended) noexcept;
  HRESULT HasChildNodes(VARIANT_BOOL* has) noexcept;
  virtual HRESULT GetText(BSTR* text);
  virtual HRESULT PutText(BSTR text) = 0;
  virtual HRESULT GetXml(BSTR* xml);
  virtual HRESULT GetNamespaceUri(BSTR* uri);
  virtual HRESULT GetBaseName(BSTR* name);

 protected:
  // Holds the store for as long as the node lives (see NoteMade). inBlock: the memory came from
  // the store's blocks (see Memory) and goes with the store.
  Node(DOMNodeType type, NodeStore& store, bool inBlock, std::uint32_t tagHash = 0) noexcept;
  ~Node() override;

  // Whether this node may take `child` as its last child (cycles are checked separately).
  virtual bool Accepts(const Node& child) const noexcept;
  void Destroy() noexcept override;

 private:
  void Unlink() noexcept;
  // Before children are handed out or added: an element's leaf text becomes its text node.
  HRESULT MakeLeafTextNode() noexcept;
  static bool ContainsOrIs(const Node& subtree, const Node& node) noexcept;
  // Frees `top`'s descendants that nobody else holds, and `top` too when asked; those held
  // elsewhere become free-standing trees.
  static void DisposeDescendants(Node& top, bool alsoTop) noexcept;
  // Ends the node: a heap node's destructor runs and its memory goes back; a node in a store's
  // blocks is destroyed only if it owns memory (OwnsMemory). The store's hold is the caller's
  // to drop.
  static NodeStore* Free(Node* node) noexcept;
  static void NoteFreed(NodeStore* store, std::size_t count) noexcept;
  static void* HeapMemory(std::size_t size);
  static std::size_t HeapSize(DOMNodeType type) noexcept;

  // First, so that they share the cache line of the links: a walk reads them on every node.
  // Narrow, so that they fit beside the reference count.
  const std::uint8_t type_ : 7;
  const std::uint8_t inBlock_ : 1;
  bool mayHoldElements_ = false;  // set when an element child is adopted, cleared with all children
  const std::uint16_t tagHash_;
  Node* parent_ = nullptr;
  Node* firstChild_ = nullptr;  // each child carries one reference held by its parent
  Node* nextSibling_ = nullptr;
  // The previous sibling; for a first child, the last child of its parent, which so costs no
  // field of its own.
  Node* previousOrLast_ = nullptr;
  NodeStore* const store_;
};

// Hands out a node with a new reference; S_FALSE and null when there is none.
HRESULT HandOut(Node* node, IXMLDOMNode** out) noexcept;

}  // namespace quenlo::platform::dom
