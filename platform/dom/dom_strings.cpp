#include "dom_strings.h"

#include <limits>

#include "../unicode.h"

namespace quenlo::platform::dom {

std::u16string_view ViewOf(BSTR text) noexcept {
  if (text == nullptr) return {};
  return {text, SysStringLen(text)};
}

HRESULT CopyToBstr(std::u16string_view text, BSTR* out) noexcept {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (text.size() > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT CopyToVariant(std::u16string_view text, VARIANT* out) noexcept {
  if (out == nullptr) return E_INVALIDARG;
  VariantInit(out);
  BSTR copy = nullptr;
  if (const HRESULT hr = CopyToBstr(text, &copy); FAILED(hr)) return hr;
  out->vt = VT_BSTR;
  out->bstrVal = copy;
  return S_OK;
}

HRESULT NoBstr(BSTR* out) noexcept {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  return S_FALSE;
}

void AppendUtf8AsUtf16(std::string_view utf8, std::u16string& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t length = utf8.size();
  const std::size_t start = out.size();
  out.resize(start + length);  // UTF-8 never takes fewer bytes than UTF-16 takes units
  char16_t* cursor = out.data() + start;
  std::size_t position = 0;
  while (position < length) {
    if (bytes[position] < 0x80) {
      *cursor++ = static_cast<char16_t>(bytes[position++]);
      continue;
    }
    WriteUtf16(ReadUtf8(bytes, length, position).value,
               [&cursor](char16_t unit) { *cursor++ = unit; });
  }
  out.resize(static_cast<std::size_t>(cursor - out.data()));
}

std::size_t Utf8LengthUpTo(std::u16string_view text, std::size_t limit) noexcept {
  std::size_t bytes = 0;
  for (std::size_t index = 0; index < text.size() && bytes <= limit; ++index) {
    const char16_t unit = text[index];
    if (unit < 0x80) {
      bytes += 1;
    } else if (unit < 0x800) {
      bytes += 2;
    } else if (unit >= 0xD800 && unit <= 0xDBFF && index + 1 < text.size() &&
               text[index + 1] >= 0xDC00 && text[index + 1] <= 0xDFFF) {
      bytes += 4;
      ++index;
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

}  // namespace quenlo::platform::dom
