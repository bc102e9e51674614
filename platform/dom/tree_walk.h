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

template <class Visit>
void ForEachInSubtree(Node& root, Visit&& visit) {
  WalkSubtree(root, visit, [](Node&) {});
}

}  // namespace quenlo::platform::dom
