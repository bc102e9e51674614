// The weak tie from nodes to the document that made them. Nodes must not keep their document
// alive (the document owns its tree, so that would be a cycle, and a long-lived document would
// never let go of the requests it made); they reach it through this link while it lives.
#pragma once

#include <platform/msxml.h>

#include <memory>
#include <mutex>

#include "tag_summary.h"

namespace quenlo::platform::dom {

class Document;
class DocumentLink;

// A new link, in memory from the thread's small blocks: every parse of a reply makes one.
// Throws std::bad_alloc.
std::shared_ptr<DocumentLink> MakeDocumentLink();

class DocumentLink {
 public:
  // Bound once the document is made (the document needs the link to be made).
  void Bind(Document* document) noexcept { document_ = document; }

  // The document with a new reference, or null once it is gone or going.
  IXMLDOMDocument* Acquire() noexcept;
  // Called by the document when its last reference has gone, before it is freed.
  void Sever() noexcept;

  TagSummary& Tags() noexcept { return tags_; }

 private:
  std::mutex mutex_;
  Document* document_ = nullptr;
  TagSummary tags_;
};

}  // namespace quenlo::platform::dom
