// Everything an announced result object tells through its accessors, read once into plain
// values: what a user interface shows, and what tests and the command line compare.
#pragma once

#include <quenlo/platform.h>

#include <string>
#include <string_view>
#include <vector>

namespace quenlo::host {

struct ResultField {
  std::string name;
  std::string value;  // UTF-8
  bool is_number = false;
};

struct ResultSnapshot {
  // The public interface the object answered ("IVotingReply", "IAgendaList"...); empty for a
  // null object or one that answers none of the module's result interfaces.
  std::string kind;
  // The values the accessors delivered, in accessor order; an accessor that reports "not
  // there" adds nothing.
  std::vector<ResultField> fields;
  // The object's subjects, list items or voters, each read the same way.
  std::vector<ResultSnapshot> entries;

  // The value of the first field of that name, or null when the object did not deliver it.
  const std::string* Find(std::string_view name) const;
};

// Reads every accessor of the result interface that `result` answers.
ResultSnapshot ReadResult(IUnknown* result);

}  // namespace quenlo::host
