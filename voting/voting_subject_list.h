// The "showall" listing: one entry per distinct "id" of the "subject" elements below the reply's
// query element (the first subject with an id wins), in code-unit order of the ids.
#pragma once

#include <quenlo/voting.h>

#include <vector>

#include "component/bstr.h"
#include "component/ole_text.h"
#include "component/result_object.h"

namespace quenlo::confext {

class VotingSubjectList final : public ResultObject<VotingSubjectList, IVotingSubjectList> {
 public:
  explicit VotingSubjectList(IXMLDOMElement* query) noexcept : ResultObject(query) {}

  // False when there are no subjects, or the DOM failed part-way (the entries read so far stay).
  // A subject without "id" or "type" leaves as _com_error.
  bool Load() override;

  // The number of entries. Always 0. E_POINTER for a null output.
  HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override;
  // 0 with new strings for the entry's text and id and its type; 1 with nothing written when
  // position is out of range. E_POINTER for a null output, E_OUTOFMEMORY when a string cannot be
  // copied (nothing written then either).
  HRESULT STDMETHODCALLTYPE GetItem(LONG position, BSTR* text, BSTR* id, LONG* type) override;

 private:
  ~VotingSubjectList() override = default;

  struct Entry {
    OleString id;
    Bstr text;
    LONG type;
  };
  // Distinct ids in code-unit order, so that a position is answered in constant time.
  std::vector<Entry> entries_;
};

}  // namespace quenlo::confext
