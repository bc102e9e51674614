#include "result_reader.h"

#include <quenlo/agenda.h>
#include <quenlo/voting.h>

#include <limits>
#include <string>
#include <vector>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "fuzz_host.h"

namespace quenlo::fuzz {
namespace {

constexpr LONG kLeast = std::numeric_limits<LONG>::min();
constexpr LONG kMost = std::numeric_limits<LONG>::max();

// Positions worth asking for when `count` entries exist: both ends of the range, a few beyond
// it, and negatives. A count may be huge (it is read from the packet), so the middle is skipped.
std::vector<LONG> PositionsAround(LONG count) {
  std::vector<LONG> positions = {kLeast, -2, -1, 0, 1, 2, kMost};
  if (count > 0) {
    for (LONG back = 1; back <= 3 && back <= count; ++back) positions.push_back(count - back);
    if (count < kMost) positions.push_back(count);
    if (count < kMost - 1) positions.push_back(count + 1);
  }
  for (LONG position = 3; position < 16 && position < count; ++position) {
    positions.push_back(position);
  }
  return positions;
}

void RequireStatus(HRESULT status, const char* accessor) {
  if (status != S_OK && status != S_FALSE) Fail(std::string(accessor) + " answers 0 or 1");
}

// A BSTR accessor: on 0 a string for the caller, on 1 the output untouched.
template <class Interface>
void ReadText(Interface* object, HRESULT (STDMETHODCALLTYPE Interface::*accessor)(BSTR*),
              const char* name) {
  BSTR untouched = reinterpret_cast<BSTR>(&untouched);
  BSTR text = untouched;
  const HRESULT status = (object->*accessor)(&text);
  RequireStatus(status, name);
  if (status == S_FALSE) {
    if (text != untouched) Fail(std::string(name) + " leaves its output alone when it answers 1");
    return;
  }
  Bstr owned = Bstr::Adopt(text);
  volatile std::size_t units = owned.View().size();  // reads the whole length
  (void)units;
}

template <class Interface>
void ReadNumber(Interface* object, HRESULT (STDMETHODCALLTYPE Interface::*accessor)(LONG*),
                const char* name) {
  LONG value = 0;
  RequireStatus((object->*accessor)(&value), name);
}

// A text owned by the object: readable to its terminator while the object is held.
std::u16string Borrowed(const OLECHAR* text) {
  return text == nullptr ? std::u16string() : std::u16string(text);
}

void ReadVotingReply(IVotingReply* reply) {
  ReadText(reply, &IVotingReply::GetQid, "IVotingReply::GetQid");
  ReadText(reply, &IVotingReply::GetCaption, "IVotingReply::GetCaption");
  ReadText(reply, &IVotingReply::GetCode, "IVotingReply::GetCode");
  ReadNumber(reply, &IVotingReply::GetMulti, "IVotingReply::GetMulti");
  ReadNumber(reply, &IVotingReply::GetReg, "IVotingReply::GetReg");
  ReadNumber(reply, &IVotingReply::GetTimeout, "IVotingReply::GetTimeout");
  LONG count = 0;
  RequireStatus(reply->GetSubjectCount(&count), "IVotingReply::GetSubjectCount");
  Require(count >= 0, "IVotingReply::GetSubjectCount is not negative");
  for (const LONG position : PositionsAround(count)) {
    const OLECHAR* text = nullptr;
    const HRESULT status = reply->GetSubject(position, &text);
    RequireStatus(status, "IVotingReply::GetSubject");
    Require(status == S_FALSE || (position >= 0 && position < count),
            "IVotingReply::GetSubject delivers only positions below the count");
    if (status == S_OK) Borrowed(text);
  }
}

void ReadSubjectList(IVotingSubjectList* list) {
  LONG count = 0;
  RequireStatus(list->GetCount(&count), "IVotingSubjectList::GetCount");
  Require(count >= 0, "IVotingSubjectList::GetCount is not negative");
  for (const LONG position : PositionsAround(count)) {
    BSTR text = nullptr;
    BSTR id = nullptr;
    LONG type = 0;
    const HRESULT status = list->GetItem(position, &text, &id, &type);
    RequireStatus(status, "IVotingSubjectList::GetItem");
    const Bstr ownedText = Bstr::Adopt(text);
    const Bstr ownedId = Bstr::Adopt(id);
    Require(status == S_FALSE || (position >= 0 && position < count),
            "IVotingSubjectList::GetItem delivers only positions below the count");
  }
}

void ReadVotingDetail(IVotingDetail* detail) {
  ReadText(detail, &IVotingDetail::GetQid, "IVotingDetail::GetQid");
  ReadText(detail, &IVotingDetail::GetCaption, "IVotingDetail::GetCaption");
  ReadNumber(detail, &IVotingDetail::GetMulti, "IVotingDetail::GetMulti");
  ReadNumber(detail, &IVotingDetail::GetReg, "IVotingDetail::GetReg");
  ReadNumber(detail, &IVotingDetail::GetCount, "IVotingDetail::GetCount");
  LONG count = 0;
  RequireStatus(detail->GetSubjectCount(&count), "IVotingDetail::GetSubjectCount");
  Require(count >= 0, "IVotingDetail::GetSubjectCount is not negative");
  // Names to ask voters of: every subject name delivered, and some that name nothing.
  std::vector<std::u16string> names = {u"", u"?", u"\xFFFD"};
  for (const LONG position : PositionsAround(count)) {
    LONG votes = 0;
    const OLECHAR* name = nullptr;
    const HRESULT status = detail->GetSubjectResult(position, &votes, &name);
    RequireStatus(status, "IVotingDetail::GetSubjectResult");
    // This accessor answers 1 when it delivered. Its positions run over the subjects' indexes,
    // which may outnumber the names the count is of (two subjects of one name).
    Require(status == S_OK || position >= 0,
            "IVotingDetail::GetSubjectResult delivers no negative position");
    if (status == S_FALSE && names.size() < 12) names.push_back(Borrowed(name));
  }
  const OLECHAR* voter = nullptr;
  for (const LONG position : PositionsAround(3)) {
    RequireStatus(detail->GetVoter(nullptr, position, &voter), "IVotingDetail::GetVoter");
    for (const std::u16string& name : names) {
      const HRESULT status = detail->GetVoter(name.c_str(), position, &voter);
      RequireStatus(status, "IVotingDetail::GetVoter");
      if (status == S_OK) Borrowed(voter);
    }
  }
}

void ReadAgendaReply(IAgendaReply* reply) {
  ReadText(reply, &IAgendaReply::GetText, "IAgendaReply::GetText");
  ReadText(reply, &IAgendaReply::GetTime, "IAgendaReply::GetTime");
  ReadText(reply, &IAgendaReply::GetQid, "IAgendaReply::GetQid");
  ReadText(reply, &IAgendaReply::GetType, "IAgendaReply::GetType");
  ReadText(reply, &IAgendaReply::GetValue, "IAgendaReply::GetValue");
  ReadText(reply, &IAgendaReply::GetCode, "IAgendaReply::GetCode");
  ReadText(reply, &IAgendaReply::GetStyle, "IAgendaReply::GetStyle");
}

void ReadAgendaList(IAgendaList* list) {
  LONG count = 0;
  RequireStatus(list->GetCount(&count), "IAgendaList::GetCount");
  Require(count >= 0, "IAgendaList::GetCount is not negative");
  for (const LONG position : PositionsAround(count)) {
    IAgendaReply* untouched = reinterpret_cast<IAgendaReply*>(&untouched);
    IAgendaReply* item = untouched;
    const HRESULT status = list->GetItem(position, &item);
    RequireStatus(status, "IAgendaList::GetItem");
    if (status == S_FALSE) {
      Require(item == untouched, "IAgendaList::GetItem leaves its output alone when it answers 1");
      continue;
    }
    Require(position >= 0 && position < count,
            "IAgendaList::GetItem delivers only positions below the count");
    Require(item != nullptr, "IAgendaList::GetItem delivers a record");
    const ComPtr<IAgendaReply> record = ComPtr<IAgendaReply>::Adopt(item);
    ReadAgendaReply(record.Get());
  }
}

}  // namespace

void ReadEveryAccessor(IUnknown* result) {
  if (result == nullptr) return;
  int interfaces = 0;
  if (const auto reply = QueryFrom<IVotingReply>(result)) {
    ReadVotingReply(reply.Get());
    ++interfaces;
  }
  if (const auto list = QueryFrom<IVotingSubjectList>(result)) {
    ReadSubjectList(list.Get());
    ++interfaces;
  }
  if (const auto detail = QueryFrom<IVotingDetail>(result)) {
    ReadVotingDetail(detail.Get());
    ++interfaces;
  }
  if (const auto reply = QueryFrom<IAgendaReply>(result)) {
    ReadAgendaReply(reply.Get());
    ++interfaces;
  }
  if (const auto list = QueryFrom<IAgendaList>(result)) {
    ReadAgendaList(list.Get());
    ++interfaces;
  }
  Require(interfaces == 1, "an announced object answers exactly one result interface");
}

}  // namespace quenlo::fuzz
