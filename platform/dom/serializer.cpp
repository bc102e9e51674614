#include "serializer.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "element.h"
#include "tree_walk.h"

namespace quenlo::platform::dom {
namespace {

// Each names the characters it writes as references, for the scan that looks for them.
struct TextEscapes {
  static constexpr char16_t kEscaped[] = {u'&', u'<', u'>', u'\r'};

  const char16_t* operator()(char16_t c) const noexcept {
    switch (c) {
      case u'&':
        return u"&amp;";
      case u'<':
        return u"&lt;";
      case u'>':
        return u"&gt;";
      case u'\r':
        return u"&#13;";
      default:
        return nullptr;
    }
  }
};

struct AttributeEscapes {
  static constexpr char16_t kEscaped[] = {u'&', u'<', u'>', u'\r', u'"', u'\t', u'\n'};

  const char16_t* operator()(char16_t c) const noexcept {
    switch (c) {
      case u'"':
        return u"&quot;";
      case u'\t':
        return u"&#9;";
      case u'\n':
        return u"&#10;";
      default:
        return TextEscapes{}(c);
    }
  }
};

#if defined(__SSE2__)
// One bit pair per unit of the eight that Escapes writes as a reference.
template <class Escapes>
int EscapedUnits(__m128i units) noexcept {
  __m128i found = _mm_setzero_si128();
  for (const char16_t c : Escapes::kEscaped) {
    found = _mm_or_si128(found, _mm_cmpeq_epi16(units, _mm_set1_epi16(static_cast<short>(c))));
  }
  return _mm_movemask_epi8(found);
}
#endif

// Memory kept per thread for writing XML into: a request fits in the first few kilobytes, so that
// writing one costs no allocation but its BSTR's.
struct KeptMemory {
  std::unique_ptr<char16_t[]> units;
  std::size_t capacity = 0;
};

thread_local KeptMemory keptMemory;

// Appends to the thread's kept memory, grown by doubling and given back at the end when large.
class ThreadBuffer {
 public:
  ThreadBuffer() noexcept
      : kept_(keptMemory), cursor_(kept_.units.get()), end_(cursor_ + kept_.capacity) {}
  ThreadBuffer(const ThreadBuffer&) = delete;
  ThreadBuffer& operator=(const ThreadBuffer&) = delete;
  ~ThreadBuffer() {
    constexpr std::size_t kLargestKept = 16 * 1024;
    if (kept_.capacity > kLargestKept) kept_ = {};
  }

  void Append(std::u16string_view text) {
    Reserve(text.size());
    cursor_ = std::copy(text.begin(), text.end(), cursor_);
  }
  void Append(char16_t c) {
    Reserve(1);
    *cursor_++ = c;
  }
  // The text with each character that Escapes names written as its reference, scanned and
  // copied in the same pass.
  template <class Escapes>
  void AppendEscaped(std::u16string_view text) {
    Reserve(text.size());
    // Locals, which the compiler keeps in registers through the loop.
    const char16_t* in = text.data();
    const char16_t* const end = in + text.size();
    char16_t* out = cursor_;
    while (in != end) {
#if defined(__SSE2__)
      // Eight units at a time up to the next that needs a reference: they are copied whole, and
      // the output has room for every unit still to come.
      if (end - in >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), units);
        const int escaped = EscapedUnits<Escapes>(units);
        const std::ptrdiff_t plain = escaped == 0 ? 8 : __builtin_ctz(escaped) / 2;
        in += plain;
        out += plain;
        if (plain == 8) continue;
      }
#endif
      const char16_t c = *in++;
      // Above every character that is ever escaped, nothing needs a look.
      const char16_t* reference = c > u'>' ? nullptr : Escapes{}(c);
      if (reference == nullptr) {
        *out++ = c;
        continue;
      }
      const std::u16string_view written(reference);
      cursor_ = out;
      Reserve(written.size() + static_cast<std::size_t>(end - in));
      out = std::copy(written.begin(), written.end(), cursor_);
    }
    cursor_ = out;
  }

  // What was written, in a new BSTR.
  HRESULT CopyTo(BSTR* xml) const noexcept {
    const std::size_t size = static_cast<std::size_t>(cursor_ - kept_.units.get());
    if (size > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY;
    *xml = SysAllocStringLen(kept_.units.get(), static_cast<UINT>(size));
    return *xml != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  void Reserve(std::size_t units) {
    if (static_cast<std::size_t>(end_ - cursor_) < units) Grow(units);
  }
  void Grow(std::size_t atLeast) {
    const std::size_t used = static_cast<std::size_t>(cursor_ - kept_.units.get());
    const std::size_t capacity = std::max({std::size_t{1024}, 2 * kept_.capacity, used + atLeast});
    auto larger = std::make_unique_for_overwrite<char16_t[]>(capacity);
    std::copy(kept_.units.get(), cursor_, larger.get());
    kept_ = {std::move(larger), capacity};
    cursor_ = kept_.units.get() + used;
    end_ = kept_.units.get() + capacity;
  }

  KeptMemory& kept_;
  char16_t* cursor_;
  char16_t* end_;
};

void WriteAttribute(std::u16string_view name, std::u16string_view value, ThreadBuffer& out) {
  out.Append(name);
  out.Append(u'=');
  out.Append(u'"');
  out.AppendEscaped<AttributeEscapes>(value);
  out.Append(u'"');
}

// A leaf text only ever turns into a first child, so an element found empty stays empty.
bool IsEmpty(const Element& element) {
  return element.FirstChild() == nullptr && !element.HasLeafText();
}

// holdsChildren: as the walk read it (see WalkSubtree).
void OpenElement(const Element& element, bool holdsChildren, ThreadBuffer& out) {
  out.Append(u'<');
  out.Append(element.Tag());
  for (const AttributeEntry& attribute : element.Attributes()) {
    out.Append(u' ');
    WriteAttribute(attribute.name->View(), attribute.value.View(), out);
  }
  if (!holdsChildren && !element.HasLeafText()) out.Append(u'/');
  out.Append(u'>');
  if (!holdsChildren) out.AppendEscaped<TextEscapes>(element.LeafText());
}

void CloseElement(const Element& element, ThreadBuffer& out) {
  if (IsEmpty(element)) return;
  out.Append(u'<');
  out.Append(u'/');
  out.Append(element.Tag());
  out.Append(u'>');
}

// Written once and then copied whole, which costs less than measuring the text in a first pass
// so as to write it straight into the string in a second.
template <class Writing>
HRESULT WrittenXml(BSTR* xml, Writing&& writing) noexcept {
  if (xml == nullptr) return E_INVALIDARG;
  *xml = nullptr;
  ThreadBuffer out;
  try {
    writing(out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return out.CopyTo(xml);
}

}  // namespace

HRESULT XmlOf(Node& root, BSTR* xml) noexcept {
  return WrittenXml(xml, [&root](ThreadBuffer& out) {
    WalkSubtree(
        root,
        [&out](Node& node, bool holdsChildren) {
          if (node.Type() == NODE_ELEMENT) {
            OpenElement(static_cast<const Element&>(node), holdsChildren, out);
          } else {
            out.AppendEscaped<TextEscapes>(node.TextData());
          }
        },
        [&out](Node& node) {
          if (node.Type() == NODE_ELEMENT) CloseElement(static_cast<const Element&>(node), out);
        });
  });
}

HRESULT AttributeXmlOf(std::u16string_view name, std::u16string_view value, BSTR* xml) noexcept {
  return WrittenXml(xml, [&](ThreadBuffer& out) { WriteAttribute(name, value, out); });
}

}  // namespace quenlo::platform::dom
