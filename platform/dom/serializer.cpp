#include "serializer.h"

#include "element.h"
#include "tree_walk.h"

namespace quenlo::platform::dom {
namespace {

const char16_t* TextReplacement(char16_t c) {
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

const char16_t* AttributeReplacement(char16_t c) {
  switch (c) {
    case u'"':
      return u"&quot;";
    case u'\t':
      return u"&#9;";
    case u'\n':
      return u"&#10;";
    default:
      return TextReplacement(c);
  }
}

template <class Replacement>
void AppendEscaped(std::u16string_view text, std::u16string& out, Replacement replacement) {
  std::size_t clean = 0;  // start of the run not yet copied
  for (std::size_t index = 0; index < text.size(); ++index) {
    if (const char16_t* reference = replacement(text[index])) {
      out.append(text.substr(clean, index - clean));
      out.append(reference);
      clean = index + 1;
    }
  }
  out.append(text.substr(clean));
}

void OpenElement(const Element& element, std::u16string& out) {
  out.push_back(u'<');
  out.append(element.Tag());
  for (const AttributeEntry& attribute : element.Attributes()) {
    out.push_back(u' ');
    out.append(attribute.name);
    out.append(u"=\"");
    AppendEscapedAttributeValue(attribute.value, out);
    out.push_back(u'"');
  }
  out.append(element.FirstChild() != nullptr ? u">" : u"/>");
}

void CloseElement(const Element& element, std::u16string& out) {
  if (element.FirstChild() == nullptr) return;
  out.append(u"</");
  out.append(element.Tag());
  out.push_back(u'>');
}

}  // namespace

void AppendEscapedText(std::u16string_view text, std::u16string& out) {
  AppendEscaped(text, out, TextReplacement);
}

void AppendEscapedAttributeValue(std::u16string_view value, std::u16string& out) {
  AppendEscaped(value, out, AttributeReplacement);
}

void AppendXml(Node& root, std::u16string& out) {
  WalkSubtree(
      root,
      [&out](Node& node) {
        if (node.Type() == NODE_ELEMENT) {
          OpenElement(static_cast<const Element&>(node), out);
        } else {
          AppendEscapedText(node.TextData(), out);
        }
      },
      [&out](Node& node) {
        if (node.Type() == NODE_ELEMENT) CloseElement(static_cast<const Element&>(node), out);
      });
}

}  // namespace quenlo::platform::dom
