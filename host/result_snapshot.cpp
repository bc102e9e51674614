#include "host/result_snapshot.h"

#include <quenlo/agenda.h>
#include <quenlo/voting.h>

#include <algorithm>
#include <string>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "host/utf8_text.h"

namespace quenlo::host {
namespace {

// Bounds the walks over positions whose end the interfaces only report by a status.
constexpr LONG kMaxEntries = 100000;

class SnapshotWriter {
 public:
  explicit SnapshotWriter(ResultSnapshot& snapshot) : snapshot_(snapshot) {}

  template <class Object>
  void Text(const char* name, Object& object, HRESULT (STDMETHODCALLTYPE Object::*get)(BSTR*)) {
    Bstr value;
    if ((object.*get)(value.Put()) == S_OK) AddText(name, value.View());
  }
  template <class Object>
  void Number(const char* name, Object& object, HRESULT (STDMETHODCALLTYPE Object::*get)(LONG*)) {
    LONG value = 0;
    if ((object.*get)(&value) == S_OK) AddNumber(name, value);
  }
  void AddText(const char* name, std::u16string_view value) {
    snapshot_.fields.push_back({name, ToUtf8(value), false});
  }
  void AddNumber(const char* name, LONG value) {
    snapshot_.fields.push_back({name, std::to_string(value), true});
  }

 private:
  ResultSnapshot& snapshot_;
};

void ReadVotingReply(IVotingReply& reply, ResultSnapshot& snapshot) {
  snapshot.kind = "IVotingReply";
  SnapshotWriter write(snapshot);
  write.Text("qid", reply, &IVotingReply::GetQid);
  write.Text("caption", reply, &IVotingReply::GetCaption);
  write.Number("multi", reply, &IVotingReply::GetMulti);
  write.Number("reg", reply, &IVotingReply::GetReg);
  write.Number("timeout", reply, &IVotingReply::GetTimeout);
  write.Text("code", reply, &IVotingReply::GetCode);
  LONG count = 0;
  reply.GetSubjectCount(&count);
  write.AddNumber("subjectCount", count);
  for (LONG position = 0; position < std::min(count, kMaxEntries); ++position) {
    const OLECHAR* text = nullptr;
    if (reply.GetSubject(position, &text) != S_OK) continue;
    ResultSnapshot& subject = snapshot.entries.emplace_back();
    subject.kind = "subject";
    SnapshotWriter(subject).AddText("text", ViewOf(text));
  }
}

void ReadSubjectList(IVotingSubjectList& list, ResultSnapshot& snapshot) {
  snapshot.kind = "IVotingSubjectList";
  LONG count = 0;
  list.GetCount(&count);
  SnapshotWriter(snapshot).AddNumber("count", count);
  for (LONG position = 0; position < std::min(count, kMaxEntries); ++position) {
    Bstr text;
    Bstr id;
    LONG type = 0;
    if (list.GetItem(position, text.Put(), id.Put(), &type) != S_OK) continue;
    ResultSnapshot& vote = snapshot.entries.emplace_back();
    vote.kind = "vote";
    SnapshotWriter write(vote);
    write.AddText("id", id.View());
    write.AddText("text", text.View());
    write.AddNumber("type", type);
  }
}

void ReadVoters(IVotingDetail& detail, const OLECHAR* name, LONG votes, ResultSnapshot& subject) {
  const std::u16string key(ViewOf(name));  // the object's string; copied before asking again
  for (LONG position = 0; position < std::min(votes, kMaxEntries); ++position) {
    const OLECHAR* voter = nullptr;
    // Status 1 for the first voter means the tally names nobody (counts only).
    if (detail.GetVoter(key.c_str(), position, &voter) != S_OK) return;
    ResultSnapshot& entry = subject.entries.emplace_back();
    entry.kind = "voter";
    SnapshotWriter(entry).AddText("name", ViewOf(voter));
  }
}

void ReadVotingDetail(IVotingDetail& detail, ResultSnapshot& snapshot) {
  snapshot.kind = "IVotingDetail";
  SnapshotWriter write(snapshot);
  write.Text("qid", detail, &IVotingDetail::GetQid);
  write.Text("caption", detail, &IVotingDetail::GetCaption);
  write.Number("multi", detail, &IVotingDetail::GetMulti);
  write.Number("reg", detail, &IVotingDetail::GetReg);
  write.Number("count", detail, &IVotingDetail::GetCount);
  write.Number("subjectCount", detail, &IVotingDetail::GetSubjectCount);
  // GetSubjectResult reports a delivered subject with 1 and the end of the subjects with 0.
  for (LONG position = 0; position < kMaxEntries; ++position) {
    LONG votes = 0;
    const OLECHAR* name = nullptr;
    if (detail.GetSubjectResult(position, &votes, &name) != S_FALSE) break;
    ResultSnapshot& subject = snapshot.entries.emplace_back();
    subject.kind = "subject";
    SnapshotWriter(subject).AddText("name", ViewOf(name));
    SnapshotWriter(subject).AddNumber("votes", votes);
    ReadVoters(detail, name, votes, subject);
  }
}

void ReadAgendaReply(IAgendaReply& record, ResultSnapshot& snapshot) {
  snapshot.kind = "IAgendaReply";
  SnapshotWriter write(snapshot);
  write.Text("qid", record, &IAgendaReply::GetQid);
  write.Text("text", record, &IAgendaReply::GetText);
  write.Text("time", record, &IAgendaReply::GetTime);
  write.Text("type", record, &IAgendaReply::GetType);
  write.Text("value", record, &IAgendaReply::GetValue);
  write.Text("code", record, &IAgendaReply::GetCode);
  write.Text("style", record, &IAgendaReply::GetStyle);
}

void ReadAgendaList(IAgendaList& list, ResultSnapshot& snapshot) {
  snapshot.kind = "IAgendaList";
  LONG count = 0;
  list.GetCount(&count);
  SnapshotWriter(snapshot).AddNumber("count", count);
  for (LONG index = 0; index < std::min(count, kMaxEntries); ++index) {
    ComPtr<IAgendaReply> item;
    if (list.GetItem(index, item.Put()) != S_OK || !item) continue;
    ReadAgendaReply(*item.Get(), snapshot.entries.emplace_back());
  }
}

}  // namespace

const std::string* ResultSnapshot::Find(std::string_view name) const {
  const auto found = std::ranges::find(fields, name, &ResultField::name);
  return found == fields.end() ? nullptr : &found->value;
}

ResultSnapshot ReadResult(IUnknown* result) {
  ResultSnapshot snapshot;
  if (const auto reply = QueryFrom<IVotingReply>(result)) {
    ReadVotingReply(*reply.Get(), snapshot);
  } else if (const auto detail = QueryFrom<IVotingDetail>(result)) {
    ReadVotingDetail(*detail.Get(), snapshot);
  } else if (const auto subjects = QueryFrom<IVotingSubjectList>(result)) {
    ReadSubjectList(*subjects.Get(), snapshot);
  } else if (const auto list = QueryFrom<IAgendaList>(result)) {
    ReadAgendaList(*list.Get(), snapshot);
  } else if (const auto record = QueryFrom<IAgendaReply>(result)) {
    ReadAgendaReply(*record.Get(), snapshot);
  }
  return snapshot;
}

}  // namespace quenlo::host
