#include "server/agenda.h"

#include <algorithm>
#include <utility>

#include "server/request_error.h"

namespace quenlo::server {
namespace {

template <typename Items>
auto FindItem(Items& items, const std::string& qid) {
  return std::find_if(items.begin(), items.end(),
                      [&](const AgendaItem& item) { return item.qid == qid; });
}

}  // namespace

Agenda::Agenda(std::vector<AgendaItem> items, const std::string& in_progress_qid)
    : items_(std::move(items)) {
  if (!in_progress_qid.empty()) inProgressQid_ = in_progress_qid;
}

const AgendaItem* Agenda::InProgress() const {
  if (!inProgressQid_) return nullptr;
  const auto item = FindItem(items_, *inProgressQid_);
  return item == items_.end() ? nullptr : &*item;
}

const AgendaItem& Agenda::Create(AgendaItem item) {
  if (FindItem(items_, item.qid) != items_.end()) {
    throw RequestError(ErrorCode::kDuplicateAgendaItem, "agenda item " + item.qid + " exists");
  }
  return items_.emplace_back(std::move(item));
}

const AgendaItem& Agenda::Modify(AgendaItem item) {
  const auto existing = FindExisting(item.qid);
  *existing = std::move(item);
  return *existing;
}

AgendaItem Agenda::Delete(const std::string& qid) {
  const auto existing = FindExisting(qid);
  AgendaItem removed = std::move(*existing);
  items_.erase(existing);
  if (inProgressQid_ == qid) inProgressQid_.reset();
  return removed;
}

const AgendaItem& Agenda::Sync(const std::string& qid) {
  const auto existing = FindExisting(qid);
  inProgressQid_ = qid;
  return *existing;
}

std::vector<AgendaItem>::iterator Agenda::FindExisting(const std::string& qid) {
  const auto item = FindItem(items_, qid);
  if (item == items_.end()) {
    throw RequestError(ErrorCode::kUnknownAgendaItem, "no agenda item " + qid);
  }
  return item;
}

}  // namespace quenlo::server
