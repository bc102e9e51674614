// Why the last loadXML of a document failed (error code 0 when it did not).
#pragma once

#include <platform/xml_parser.h>

#include <string>

#include "ref_counted.h"

namespace quenlo::platform::dom {

// The errorCode a refusal reports: 0 for success, otherwise an interface-specific failure
// (0x80040200 plus the status), so that a host can tell the refusals apart.
long ParseErrorCode(XmlParseStatus status) noexcept;

class ParseError final : public ComObject<IXMLDOMParseError, IID_IXMLDOMParseError> {
 public:
  static ParseError* Create(long code, std::u16string reason, long line, long linePosition);
  // The answer after a load that succeeded, with a new reference: one object for the whole
  // process, since it never changes (every parse would otherwise make one).
  static ParseError* None();

  HRESULT STDMETHODCALLTYPE get_errorCode(long* code) override;
  HRESULT STDMETHODCALLTYPE get_reason(BSTR* reason) override;
  HRESULT STDMETHODCALLTYPE get_line(long* line) override;
  HRESULT STDMETHODCALLTYPE get_linepos(long* position) override;

 private:
  ParseError(long code, std::u16string reason, long line, long linePosition) noexcept;

  long code_;
  std::u16string reason_;
  long line_;
  long linePosition_;
};

}  // namespace quenlo::platform::dom
