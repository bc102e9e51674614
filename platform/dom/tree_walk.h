// Document-order traversal without recursion, so that no depth of tree can overflow the stack.
#pragma once

#include "node.h"

namespace quenlo::platform::dom {

// enter(node, holdsChildren) on the way down; leave(node) once all its descendants have been
// entered and left. Whether a node holds children is read once, for enter and for the walk
// alike: another thread may turn an element's leaf text into its first child at any moment
// (Element::MakeLeafTextNode), and a reader of texts must take that text once, as the leaf or
// as the node, never both.
template <class Enter, class Leave>
void WalkSubtree(Node& root, Enter&& enter, Leave&& leave) {
  Node* node = &root;
  for (;;) {
    Node* child = node->FirstChild();
    enter(*node, child != nullptr);
    if (child != nullptr) {
      node = child;
      continue;
    }
    for (;;) {
      leave(*node);
      if (node == &root) return;
      if (Node* next = node->NextSibling()) {
        node = next;
        break;
      }
      node = node->Parent();
    }
  }
}

// The node after `node` in document order, or null once root's subtree is exhausted.
inline Node* NextInSubtree(const Node& root, const Node& node) noexcept {
  if (Node* child = node.FirstChild()) return child;
  for (const Node* at = &node; at != &root; at = at->Parent()) {
    if (Node* next = at->NextSibling()) return next;
  }
  return nullptr;
}

// As NextInSubtree, but without going down into nodes that hold no element: for walks that
// only look at elements, and would otherwise visit every text node on the way.
inline Node* NextElementOrSiblingInSubtree(const Node& root, const Node& node) noexcept {
  if (node.MayHoldElements()) {
    if (Node* child = node.FirstChild()) return child;
  }
  for (const Node* at = &node; at != &root; at = at->Parent()) {
    if (Node* next = at->NextSibling()) return next;
  }
  return nullptr;
}

// Each text of root's subtree in document order: the data of text nodes and the leaf texts of
// elements without children.
template <class Take>
void ForEachText(Node& root, Take&& take) {
  WalkSubtree(
      root,
      [&take](Node& node, bool holdsChildren) {
        if (!holdsChildren) take(node.TextData());
      },
      [](Node&) {});
}

}  // namespace quenlo::platform::dom
