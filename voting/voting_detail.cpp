#include "voting/voting_detail.h"

#include <algorithm>
#include <limits>

#include "session/integer_text.h"
#include "voting/key_order.h"
#include "voting/reply_fields.h"
#include "xml/element_handle.h"

namespace quenlo::confext {

namespace {

// Handed out, never freed, when the reply names no voters at all.
constexpr const OLECHAR kNoVoter[] = OLESTR("");

// Replies nearly always carry a handful of subjects: room for them up front spares the
// reallocations of the first few.
constexpr std::size_t kExpectedSubjects = 8;

}  // namespace

LONG VotingDetail::Subject::Votes() const noexcept {
  if (namedVotes == 0) return unnamedVotes;
  return static_cast<LONG>(std::min<std::size_t>(namedVotes, std::numeric_limits<LONG>::max()));
}

// Each subject is read as the walk reaches it, while its users are still in the cache.
bool VotingDetail::Load() {
  ElementCursor matches = ElementHandle(Element()).Each(OLESTR("subject"));
  subjects_.reserve(kExpectedSubjects);
  bool complete = true;
  while (ComPtr<IXMLDOMElement> element = matches.Next()) {
    if (!LoadSubject(ElementHandle(std::move(element)))) {
      complete = false;
      break;
    }
  }
  if (subjects_.empty()) return false;
  complete = complete && !matches.Failed();
  ResolvePositions(complete);
  return complete;
}

bool VotingDetail::LoadSubject(const ElementHandle& element) {
  const AttributeValue name = element.Attribute(OLESTR("name"));
  const AttributeValue index = element.Attribute(OLESTR("index"));
  if (name.Failed() || index.Failed()) return false;
  Subject subject;
  subject.name = OleString(name.Text());
  subject.index = OleString(index.Text());
  Subject& added = subjects_.emplace_back(std::move(subject));

  ElementCursor users = element.Each(OLESTR("user"));
  ComPtr<IXMLDOMNode> user = users.NextNode();  // only their texts are read
  if (users.Failed()) return false;  // not the same as having no users: the count is not theirs
  if (!user) {
    const AttributeValue count = element.Attribute(OLESTR("count"));
    if (count.Failed()) return false;
    added.unnamedVotes = std::max<LONG>(ParseIntegerText(count.Text()), 0);
  } else {
    hasVoterNames_ = true;
    added.firstVoter = voters_.size();
    for (; user; user = users.NextNode()) {
      Bstr voter;
      if (FAILED(user->get_text(voter.Put()))) return false;
      voters_.push_back(KeepVoter(voter));
    }
    added.namedVotes = static_cast<std::size_t>(users.Count());
  }
  added.votesRead = true;
  return true;
}

std::size_t VotingDetail::KeepVoter(const Bstr& voter) {
  if (voter.Get() == nullptr) return kNullVoter;
  const OleStringView text = voter.View();
  const std::size_t start = voterText_.size();
  voterText_.insert(voterText_.end(), text.begin(), text.end());
  voterText_.push_back(0);
  return start;
}

const OLECHAR* VotingDetail::VoterText(std::size_t start) const noexcept {
  return start == kNullVoter ? nullptr : voterText_.data() + start;
}

void VotingDetail::ResolvePositions(bool sorted) {
  // Each subject's tally, in document order, found while the subjects are read in that order.
  std::vector<const Subject*> tallyOf(subjects_.size(), nullptr);
  tallies_.Reserve(subjects_.size());
  for (std::size_t at = 0; at < subjects_.size(); ++at) {
    const Subject& subject = subjects_[at];
    if (subject.votesRead) {
      tallyOf[at] = tallies_.Keep(subject.name, &subject);  // the first of a name counts
    }
  }
  for (std::size_t at = 0; at < subjects_.size(); ++at) {
    if (!subjects_[at].votesRead) tallyOf[at] = FindTally(subjects_[at].name);
  }

  const KeyOrder byIndex = OrderKeys(
      subjects_.size(), [this](std::size_t at) -> OleStringView { return subjects_[at].index; });
  positions_.reserve(subjects_.size());
  for (std::size_t rank = 0; rank < subjects_.size(); ++rank) {
    const std::size_t position = sorted ? byIndex.SortedAt(rank) : rank;
    positions_.push_back(tallyOf[byIndex.FirstAt(position)]);
  }
}

const VotingDetail::Subject* VotingDetail::FindTally(OleStringView name) const {
  return tallies_.Find(name);
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetQid(BSTR* qid) {
  return fields_.CopyTextOf(Element(), kQid, qid);
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetCaption(BSTR* caption) {
  return fields_.CopyTextOf(Element(), kCaption, caption);
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetMulti(LONG* multi) {
  return CopyTruthTo(fields_, Element(), kMulti, multi);
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetReg(LONG* reg) {
  return CopyTruthTo(fields_, Element(), kReg, reg);
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetCount(LONG* count) {
  return CopyIntegerTo(fields_, Element(), kCount, count);
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetSubjectCount(LONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = static_cast<LONG>(tallies_.Size());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetSubjectResult(LONG position, LONG* votes,
                                                         const OLECHAR** name) {
  if (votes == nullptr || name == nullptr) return E_POINTER;
  if (position < 0 || static_cast<std::size_t>(position) >= positions_.size()) return S_OK;
  const Subject* tally = positions_[static_cast<std::size_t>(position)];
  if (tally == nullptr) return S_FALSE;
  *votes = tally->Votes();
  *name = tally->name.c_str();
  // A host reads a subject's voters right after its result, with the name just handed out.
  lastVoterTally_.store(tally, std::memory_order_relaxed);
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE VotingDetail::GetVoter(const OLECHAR* name, LONG position,
                                                 const OLECHAR** voter) {
  if (voter == nullptr) return E_POINTER;
  const Subject* tally = lastVoterTally_.load(std::memory_order_relaxed);
  if (tally == nullptr || name != tally->name.c_str()) {
    tally = FindTally(ViewOf(name));
    if (tally == nullptr) return S_FALSE;
    lastVoterTally_.store(tally, std::memory_order_relaxed);
  }
  if (!hasVoterNames_) {
    *voter = kNoVoter;
    return S_FALSE;
  }
  if (position < 0 || position >= tally->Votes()) return S_FALSE;
  *voter = tally->namedVotes == 0
               ? nullptr
               : VoterText(voters_[tally->firstVoter + static_cast<std::size_t>(position)]);
  return S_OK;
}

}  // namespace quenlo::confext
