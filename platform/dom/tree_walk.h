// Document-order traversal without recursion, so that no depth of tree can overflow the stack.
#pragma once

#include "node.h"

namespace quenlo::platform::dom {

// enter(node) on the way down; leave(node) once all its descendants have been entered and left.
template <class Enter, class Leave>
void WalkSubtree(Node& root, Enter&& enter, Leave&& leave) {
  Node* node = &root;
  for (;;) {
    enter(*node);
    if (Node* child = node->FirstChild()) {
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

template <class Visit>
void ForEachInSubtree(Node& root, Visit&& visit) {
  WalkSubtree(root, visit, [](Node&) {});
}

}  // namespace quenlo::platform::dom
