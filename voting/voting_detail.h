// The tally of a "kithe" or "result" reply. Every "subject" below the query element names a
// subject ("name"), gives its position ("index") and carries its votes: the texts of its "user"
// elements (one per voter) or, without users, a "count". A count is held as a number, never as
// that many entries, so a huge count costs no memory; the accessors answer as if the unnamed
// entries existed (each a null string).
#pragma once

#include <quenlo/voting.h>

#include <atomic>
#include <cstddef>
#include <vector>

#include "component/bstr.h"
#include "component/ole_text.h"
#include "component/result_object.h"
#include "voting/name_index.h"
#include "xml/element_handle.h"
#include "xml/record_fields.h"

namespace quenlo::confext {

class VotingDetail final : public ResultObject<VotingDetail, IVotingDetail> {
 public:
  explicit VotingDetail(IXMLDOMElement* query) noexcept : ResultObject(query) {}

  // False when there are no subjects, or the DOM failed part-way: the subjects read so far stay,
  // in document order. A subject without "name" or "index" (or without users and "count")
  // leaves as _com_error.
  bool Load() override;

  // 0 and the value, 1 with the output untouched when the element is missing, E_OUTOFMEMORY
  // with the output untouched when memory ran out reading it (see reply_fields.h). E_POINTER for
  // a null output.
  HRESULT STDMETHODCALLTYPE GetQid(BSTR* qid) override;
  HRESULT STDMETHODCALLTYPE GetCaption(BSTR* caption) override;
  HRESULT STDMETHODCALLTYPE GetMulti(LONG* multi) override;
  HRESULT STDMETHODCALLTYPE GetReg(LONG* reg) override;
  HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override;
  // The number of distinct subject names. Always 0.
  HRESULT STDMETHODCALLTYPE GetSubjectCount(LONG* count) override;
  // Hosts test this status the other way round: 1 when both outputs were written (the name is
  // owned by this object); 0 with nothing written when the position is out of range; 1 with
  // nothing written when the subject's votes were never read.
  HRESULT STDMETHODCALLTYPE GetSubjectResult(LONG position, LONG* votes,
                                             const OLECHAR** name) override;
  // 0 and the voter at position of the named subject (null for an unnamed vote), owned by this
  // object. 1 and nothing written for an unknown name or a position outside its votes; 1 and an
  // empty static string when no subject of the reply names its voters.
  HRESULT STDMETHODCALLTYPE GetVoter(const OLECHAR* name, LONG position,
                                     const OLECHAR** voter) override;

 private:
  ~VotingDetail() override = default;

  struct Subject {
    OleString index;
    OleString name;
    // Where its named voters stand in voters_ and how many there are.
    std::size_t firstVoter = 0;
    std::size_t namedVotes = 0;
    // The "count" of a subject without users (never below 0).
    LONG unnamedVotes = 0;
    // False only for a subject whose votes could not be read.
    bool votesRead = false;

    LONG Votes() const noexcept;
  };

  // Appends the subject; false when it lacks "name" or "index" (or users and "count") or the
  // DOM fails, with its votes then unread.
  bool LoadSubject(const ElementHandle& element);
  // The subject holding the votes of that name (the first with it in document order), or null.
  const Subject* FindTally(OleStringView name) const;
  void ResolvePositions(bool sorted);
  // Copies a voter's text into voterText_; where it starts there.
  std::size_t KeepVoter(const Bstr& voter);
  const OLECHAR* VoterText(std::size_t start) const noexcept;

  // Document order.
  std::vector<Subject> subjects_;
  // The named voters of every subject, one after the other: where each one's text starts in
  // voterText_, or kNullVoter when the DOM gave none.
  static constexpr std::size_t kNullVoter = static_cast<std::size_t>(-1);
  std::vector<std::size_t> voters_;
  // Every voter's text, each zero-terminated, in one buffer: a reply may name a hundred thousand
  // voters, and a string apiece cost more to free than to copy.
  std::vector<OLECHAR> voterText_;
  bool hasVoterNames_ = false;
  // One subject per distinct name: hosts ask by name for every voter they read.
  NameIndex<const Subject> tallies_;
  // The tally GetSubjectResult handed out or GetVoter found last: hosts read a subject's voters
  // one after the other, passing the name this object handed out, so a pointer comparison
  // spares the hash. Atomic only because several threads may read one result object.
  mutable std::atomic<const Subject*> lastVoterTally_{nullptr};
  // For each position: the subject holding the votes of the position's name, or null.
  std::vector<const Subject*> positions_;

  // The single values, in this order in kFieldNames.
  enum Field : std::size_t { kQid, kCaption, kMulti, kReg, kCount, kFieldCount };
  static constexpr FixedName kFieldNames[kFieldCount] = {
      OLESTR("qid"), OLESTR("caption"), OLESTR("multi"), OLESTR("reg"), OLESTR("count")};
  static inline constinit FieldTags kFieldTags{kFieldNames};
  RecordFields fields_{kFieldTags};
};

}  // namespace quenlo::confext
