// The general voting reply, also announced for "/voting/error": single values read from the held
// element on demand, and the subjects ("index" attribute and text of every "subject" below it)
// read once, listed by index in code-unit order.
#pragma once

#include <quenlo/voting.h>

#include <vector>

#include "component/bstr.h"
#include "component/ole_text.h"
#include "component/result_object.h"
#include "xml/record_fields.h"

namespace quenlo::confext {

class VotingReply final : public ResultObject<VotingReply, IVotingReply> {
 public:
  // response is the reply's "query" element or an error reply's "error" element.
  explicit VotingReply(IXMLDOMElement* response) noexcept : ResultObject(response) {}

  // False when there are no subjects, or the DOM failed part-way: the subjects read so far stay,
  // in document order. A subject without "index" leaves as _com_error.
  bool Load() override;

  // 0 and the value, 1 with the output untouched when the element is missing, E_OUTOFMEMORY
  // with the output untouched when memory ran out reading it (see reply_fields.h). E_POINTER for
  // a null output.
  HRESULT STDMETHODCALLTYPE GetQid(BSTR* qid) override;
  HRESULT STDMETHODCALLTYPE GetCaption(BSTR* caption) override;
  HRESULT STDMETHODCALLTYPE GetMulti(LONG* multi) override;
  HRESULT STDMETHODCALLTYPE GetReg(LONG* reg) override;
  HRESULT STDMETHODCALLTYPE GetTimeout(LONG* timeout) override;
  // The number of subjects, repeated indexes counted. Always 0.
  HRESULT STDMETHODCALLTYPE GetSubjectCount(LONG* count) override;
  // The text of the subject at position (the first text given for its index), owned by this
  // object; 1 when position is out of range.
  HRESULT STDMETHODCALLTYPE GetSubject(LONG position, const OLECHAR** text) override;
  // The "code" attribute of the held element itself; 1 when absent or unreadable.
  HRESULT STDMETHODCALLTYPE GetCode(BSTR* code) override;

 private:
  ~VotingReply() override = default;

  struct Subject {
    OleString index;
    Bstr text;
  };
  // Document order.
  std::vector<Subject> subjects_;
  // The text delivered at each position, so that a position is answered in constant time.
  std::vector<const Bstr*> positions_;

  // The single values, in this order in kFieldNames.
  enum Field : std::size_t { kQid, kCaption, kMulti, kReg, kTimeout, kFieldCount };
  static constexpr FixedName kFieldNames[kFieldCount] = {
      OLESTR("qid"), OLESTR("caption"), OLESTR("multi"), OLESTR("reg"), OLESTR("timeout")};
  static inline constinit FieldTags kFieldTags{kFieldNames};
  RecordFields fields_{kFieldTags};
};

}  // namespace quenlo::confext
