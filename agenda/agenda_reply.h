// One agenda record as the host reads it: a reply's query element, one subject of a list, or an
// error element. Nothing is copied out of the packet; each accessor reads the first descendant
// element of its name when asked, the first read finding all seven (record_fields.h).
#pragma once

#include <quenlo/agenda.h>

#include "component/result_object.h"
#include "xml/dom_name.h"
#include "xml/record_fields.h"

namespace quenlo::confext {

class AgendaReply final : public ResultObject<AgendaReply, IAgendaReply> {
 public:
  explicit AgendaReply(IXMLDOMElement* record) noexcept : ResultObject(record) {}

  // Fields are read on demand, so there is nothing to load.
  bool Load() override { return true; }

  // Each gives 0 and a new string with the element's text, 1 with the output untouched when the
  // record has no such element, or E_OUTOFMEMORY with the output untouched when memory ran out
  // reading it. E_POINTER for a null output.
  HRESULT STDMETHODCALLTYPE GetText(BSTR* text) override;
  HRESULT STDMETHODCALLTYPE GetTime(BSTR* time) override;
  HRESULT STDMETHODCALLTYPE GetQid(BSTR* qid) override;
  HRESULT STDMETHODCALLTYPE GetType(BSTR* type) override;
  HRESULT STDMETHODCALLTYPE GetValue(BSTR* value) override;
  HRESULT STDMETHODCALLTYPE GetCode(BSTR* code) override;
  HRESULT STDMETHODCALLTYPE GetStyle(BSTR* style) override;

 private:
  ~AgendaReply() override = default;

  // Positions in kFieldNames.
  enum Field : std::size_t { kText, kTime, kQid, kType, kValue, kCode, kStyle, kFieldCount };
  static constexpr FixedName kFieldNames[kFieldCount] = {
      OLESTR("text"),  OLESTR("time"), OLESTR("qid"),  OLESTR("type"),
      OLESTR("value"), OLESTR("code"), OLESTR("style")};

  HRESULT CopyFieldTo(Field field, BSTR* text) const;

  static inline constinit FieldTags kFieldTags{kFieldNames};
  RecordFields fields_{kFieldTags};
};

}  // namespace quenlo::confext
