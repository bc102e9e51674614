#include "session/wide_string.h"

#include <atomic>
#include <new>
#include <utility>

#include "component/variant.h"
#include "session/ansi_text.h"

namespace quenlo::confext {

struct WideString::Record {
  explicit Record(Bstr value) noexcept : text(std::move(value)) {}

  const Bstr text;
  std::atomic<ULONG> references{1};
};

WideString::WideString(const WideString& other) noexcept : record_(other.record_) {
  if (record_ != nullptr) record_->references.fetch_add(1);
}

WideString::WideString(WideString&& other) noexcept
    : record_(std::exchange(other.record_, nullptr)) {}

WideString& WideString::operator=(WideString other) noexcept {
  std::swap(record_, other.record_);
  return *this;
}

WideString::~WideString() {
  if (record_ != nullptr && record_->references.fetch_sub(1) == 1) delete record_;
}

WideString WideString::Adopt(Bstr text) {
  WideString handle;
  handle.record_ = new (std::nothrow) Record(std::move(text));
  if (handle.record_ == nullptr) throw _com_error(E_OUTOFMEMORY);
  return handle;
}

WideString WideString::FromWide(const OLECHAR* text) {
  return text == nullptr ? Adopt(Bstr{}) : FromWide(OleStringView{text});
}

WideString WideString::FromWide(OleStringView text) { return Adopt(Bstr::Copy(text)); }

WideString WideString::FromAnsi(const char* text) {
  return text == nullptr ? Adopt(Bstr{}) : FromAnsi(std::string_view{text});
}

WideString WideString::FromAnsi(std::string_view text) { return Adopt(AnsiToBstr(text)); }

WideString WideString::FromVariant(const VARIANT& value) {
  if (value.vt == VT_BSTR) {
    return value.bstrVal == nullptr ? Adopt(Bstr{}) : FromWide(ViewOfBstr(value.bstrVal));
  }
  return FromVariant(Variant::TextOf(value).Get());
}

BSTR WideString::Text() const noexcept {
  return record_ == nullptr ? nullptr : record_->text.Get();
}

OleStringView WideString::View() const noexcept {
  return record_ == nullptr ? OleStringView{} : record_->text.View();
}

Bstr WideString::Copy() const { return Bstr::Copy(View()); }

std::strong_ordering operator<=>(const WideString& left, const WideString& right) noexcept {
  if (left.record_ == right.record_) return std::strong_ordering::equal;
  if (left.record_ == nullptr) return std::strong_ordering::less;
  if (right.record_ == nullptr) return std::strong_ordering::greater;
  const bool leftHasText = left.Text() != nullptr;
  const bool rightHasText = right.Text() != nullptr;
  if (!leftHasText || !rightHasText) return leftHasText <=> rightHasText;
  return left.View() <=> right.View();
}

}  // namespace quenlo::confext
