#include "serializer.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "element.h"
#include "tree_walk.h"

namespace quenlo::platform::dom {
namespace {

struct TextEscapes {
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

class AppendToString {
 public:
  explicit AppendToString(std::u16string& out) noexcept : out_(out) {}
  void Append(std::u16string_view text) { out_.append(text); }
  void Append(char16_t c) { out_.push_back(c); }

 private:
  std::u16string& out_;
};

template <class Escapes, class Sink>
void AppendEscaped(std::u16string_view text, Sink& sink) {
  std::size_t clean = 0;  // start of the run not yet written
  for (std::size_t index = 0; index < text.size(); ++index) {
    if (text[index] > u'>') continue;  // above every character that is ever escaped
    if (const char16_t* reference = Escapes{}(text[index])) {
      sink.Append(text.substr(clean, index - clean));
      sink.Append(std::u16string_view(reference));
      clean = index + 1;
    }
  }
  sink.Append(text.substr(clean));
}

template <class Sink>
void OpenElement(const Element& element, Sink& sink) {
  sink.Append(u'<');
  sink.Append(element.Tag());
  for (const AttributeEntry& attribute : element.Attributes()) {
    sink.Append(u' ');
    sink.Append(attribute.name->View());
    sink.Append(u'=');
    sink.Append(u'"');
    AppendEscaped<AttributeEscapes>(attribute.value.View(), sink);
    sink.Append(u'"');
  }
  if (element.FirstChild() == nullptr) sink.Append(u'/');
  sink.Append(u'>');
}

template <class Sink>
void CloseElement(const Element& element, Sink& sink) {
  if (element.FirstChild() == nullptr) return;
  sink.Append(u'<');
  sink.Append(u'/');
  sink.Append(element.Tag());
  sink.Append(u'>');
}

template <class Sink>
void WriteXml(Node& root, Sink& sink) {
  WalkSubtree(
      root,
      [&sink](Node& node) {
        if (node.Type() == NODE_ELEMENT) {
          OpenElement(static_cast<const Element&>(node), sink);
        } else {
          AppendEscaped<TextEscapes>(node.TextData(), sink);
        }
      },
      [&sink](Node& node) {
        if (node.Type() == NODE_ELEMENT) CloseElement(static_cast<const Element&>(node), sink);
      });
}


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
    if (static_cast<std::size_t>(end_ - cursor_) < text.size()) Grow(text.size());
    cursor_ = std::copy(text.begin(), text.end(), cursor_);
  }
  void Append(char16_t c) {
    if (cursor_ == end_) Grow(1);
    *cursor_++ = c;
  }
  std::u16string_view Written() const noexcept {
    return {kept_.units.get(), static_cast<std::size_t>(cursor_ - kept_.units.get())};
  }

 private:
  void Grow(std::size_t atLeast) {
    const std::size_t used = Written().size();
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

}  // namespace

HRESULT XmlOf(Node& root, BSTR* xml) noexcept {
  if (xml == nullptr) return E_INVALIDARG;
  *xml = nullptr;
  // Written once and then copied whole, which costs less than measuring the tree in a first
  // pass so as to write it straight into the string in a second.
  ThreadBuffer buffer;
  try {
    WriteXml(root, buffer);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const std::u16string_view written = buffer.Written();
  if (written.size() > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY;
  *xml = SysAllocStringLen(written.data(), static_cast<UINT>(written.size()));
  return *xml != nullptr ? S_OK : E_OUTOFMEMORY;
}

void AppendEscapedAttributeValue(std::u16string_view value, std::u16string& out) {
  AppendToString sink(out);
  AppendEscaped<AttributeEscapes>(value, sink);
}

}  // namespace quenlo::platform::dom
