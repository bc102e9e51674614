#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quenlo::server {

// One agenda entry. Every field is text the participants chose; the server reads none of it
// except the qid, which keys the item.
struct AgendaItem {
  std::string qid;
  std::string text;
  std::string time;
  std::string type;
  std::string value;
};

// The agenda of one room: items in the order they were created, and the item in progress,
// which is the one last synced (none until a sync, and none again once that item is deleted).
// Refused changes throw RequestError and change nothing.
class Agenda {
 public:
  Agenda() = default;
  // An agenda as it was stored; `in_progress_qid` is empty when no item is in progress.
  Agenda(std::vector<AgendaItem> items, const std::string& in_progress_qid);

  const std::vector<AgendaItem>& items() const { return items_; }
  const AgendaItem* InProgress() const;

  const AgendaItem& Create(AgendaItem item);
  const AgendaItem& Modify(AgendaItem item);  // replaces every field, keeps the position
  AgendaItem Delete(const std::string& qid);
  const AgendaItem& Sync(const std::string& qid);

 private:
  std::vector<AgendaItem>::iterator FindExisting(const std::string& qid);

  std::vector<AgendaItem> items_;
  std::optional<std::string> inProgressQid_;
};

}  // namespace quenlo::server
