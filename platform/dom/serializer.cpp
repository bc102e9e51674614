#include "serializer.h"

#include <algorithm>
#include <limits>

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

// The first pass: only counts what the second will write.
class Measure {
 public:
  void Append(std::u16string_view text) noexcept { size_ += text.size(); }
  void Append(char16_t) noexcept { ++size_; }
  std::size_t Size() const noexcept { return size_; }

 private:
  std::size_t size_ = 0;
};

// The second pass, into a buffer the first pass sized.
class Write {
 public:
  explicit Write(char16_t* out) noexcept : cursor_(out) {}
  void Append(std::u16string_view text) noexcept {
    cursor_ = std::copy(text.begin(), text.end(), cursor_);
  }
  void Append(char16_t c) noexcept { *cursor_++ = c; }

 private:
  char16_t* cursor_;
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

}  // namespace

HRESULT XmlOf(Node& root, BSTR* xml) noexcept {
  if (xml == nullptr) return E_INVALIDARG;
  *xml = nullptr;
  Measure measure;
  WriteXml(root, measure);
  if (measure.Size() > std::numeric_limits<UINT>::max()) return E_OUTOFMEMORY;
  *xml = SysAllocStringLen(nullptr, static_cast<UINT>(measure.Size()));
  if (*xml == nullptr) return E_OUTOFMEMORY;
  Write write(*xml);
  WriteXml(root, write);
  return S_OK;
}

void AppendEscapedAttributeValue(std::u16string_view value, std::u16string& out) {
  AppendToString sink(out);
  AppendEscaped<AttributeEscapes>(value, sink);
}

}  // namespace quenlo::platform::dom
