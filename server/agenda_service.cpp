#include "server/agenda_service.h"

#include <string>
#include <string_view>
#include <utility>

#include "server/limits.h"
#include "server/packet_reader.h"
#include "server/packet_writer.h"
#include "server/request_error.h"

namespace quenlo::server {
namespace {

AgendaItem ReadItem(pugi::xml_node request) {
  const pugi::xml_node subject = request.child("subject");
  if (!subject) throw RequestError(ErrorCode::kMalformedRequest, "missing element subject");
  const auto field = [&](const char* name, std::size_t limit) {
    return Bounded(subject.child(name).text().get(), limit, name);
  };
  AgendaItem item{Bounded(RequiredText(subject, "qid"), kMaxAgendaQidBytes, "qid"),
                  field("text", kMaxAgendaTextBytes), field("time", kMaxAgendaFieldBytes),
                  field("type", kMaxAgendaFieldBytes), field("value", kMaxAgendaFieldBytes)};
  if (item.qid.empty()) throw RequestError(ErrorCode::kMalformedRequest, "empty qid");
  return item;
}

void WriteItem(const AgendaItem& item, pugi::xml_node parent) {
  pugi::xml_node subject = parent.append_child("subject");
  AppendText(subject, "qid", item.qid);
  AppendText(subject, "text", item.text);
  AppendText(subject, "time", item.time);
  AppendText(subject, "type", item.type);
  AppendText(subject, "value", item.value);
}

}  // namespace

AgendaService::AgendaService(Store& store, std::string room, Agenda agenda)
    : store_(store), room_(std::move(room)), agenda_(std::move(agenda)) {}

Audience AgendaService::Handle(pugi::xml_node request, pugi::xml_node reply) {
  const std::string_view type = request.attribute("type").value();
  if (type == "create" || type == "modify") {
    const AgendaItem& item =
        type == "create" ? agenda_.Create(ReadItem(request)) : agenda_.Modify(ReadItem(request));
    store_.SaveAgendaItem(room_, item);
    WriteItem(item, reply);
    return Audience::kRoom;
  }
  if (type == "delete") {
    const bool was_in_progress = agenda_.InProgress() != nullptr;
    const AgendaItem removed = agenda_.Delete(RequiredText(request, "qid"));
    store_.DeleteAgendaItem(room_, removed.qid);
    if (was_in_progress && !agenda_.InProgress()) store_.SaveInProgress(room_, "");
    WriteItem(removed, reply);
    return Audience::kRoom;
  }
  if (type == "sync") {
    const AgendaItem& item = agenda_.Sync(RequiredText(request, "qid"));
    store_.SaveInProgress(room_, item.qid);
    WriteItem(item, reply);
    return Audience::kRoom;
  }
  if (type == "browse") {
    for (const AgendaItem& item : agenda_.items()) WriteItem(item, reply);
    return Audience::kSender;
  }
  if (type == "request") {
    if (const AgendaItem* item = agenda_.InProgress()) WriteItem(*item, reply);
    return Audience::kSender;
  }
  throw RequestError(ErrorCode::kUnknownRequestType,
                     "unknown agenda request \"" + std::string(type) + "\"");
}

}  // namespace quenlo::server
