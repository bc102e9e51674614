#include "pugixml_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <span>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "../unicode.h"
#include "prefetch.h"
#include "xml_chars.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenlo::platform::dom {
namespace {

// Closes the copy the parser reads: whatever the text leaves open (a comment, a value, a tag)
// swallows it and shows, and text after the root element ends up before it, where the parser
// keeps it as a node instead of dropping it at the end of the input.
constexpr std::string_view kSentinel = "<!---->";

// Zero bytes after the sentinel, so that a text in the buffer may be read a vector at a time past
// its end.
constexpr std::size_t kPadding = 16;

// An element with more attributes is passed over: duplicates are looked for pair by pair.
constexpr std::size_t kMostAttributes = 16;

int DigitValue(char digit, bool hex) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (hex && digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (hex && digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

// The character a reference stands for, for the predefined entities and decimal or
// hexadecimal character references of up to seven digits; false for anything else.
bool ReadReference(std::string_view name, char32_t& value) {
  static constexpr std::pair<std::string_view, char32_t> kPredefined[] = {
      {"lt", U'<'}, {"gt", U'>'}, {"amp", U'&'}, {"quot", U'"'}, {"apos", U'\''}};
  for (const auto& [entity, character] : kPredefined) {
    if (name == entity) {
      value = character;
      return true;
    }
  }
  if (name.size() < 2 || name[0] != '#') return false;
  const bool hex = name[1] == 'x';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 7) return false;
  value = 0;
  for (const char digit : digits) {
    const int part = DigitValue(digit, hex);
    if (part < 0) return false;
    value = value * (hex ? 16 : 10) + static_cast<char32_t>(part);
  }
  return IsXmlChar(value);
}

// The bytes Decode must look at; all others are copied as they are. Bytes beyond ASCII only
// need noting, so that the builder knows which texts it may widen byte by byte.
constexpr auto kSpecial = [] {
  std::array<bool, 256> special{};
  for (const unsigned char c : {'\0', '&', '\r', '\n', '\t', '<', ']'}) special[c] = true;
  for (std::size_t c = 0x80; c < special.size(); ++c) special[c] = true;
  return special;
}();

// The bytes the parser read, its padding included: texts in them may be read past their end.
struct ParsedBytes {
  const char* begin;
  const char* end;

  // The first byte from `in` that Decode must look at.
  const char* SkipPlain(const char* in) const noexcept {
#if defined(__SSE2__)
    const auto at = reinterpret_cast<std::uintptr_t>(in);
    if (at >= reinterpret_cast<std::uintptr_t>(begin)) {
      // Sixteen bytes at a time. As signed bytes, those at or above 0x80 are negative, so one
      // comparison finds them with '\0', tab, CR and LF (the only controls left in valid text).
      for (; in + 16 <= end; in += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i special =
            _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(chunk, _mm_set1_epi8(0x20)),
                                      _mm_cmpeq_epi8(chunk, _mm_set1_epi8('&'))),
                         _mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('<')),
                                      _mm_cmpeq_epi8(chunk, _mm_set1_epi8(']'))));
        if (const int mask = _mm_movemask_epi8(special)) return in + __builtin_ctz(mask);
      }
    }
#endif
    while (!kSpecial[static_cast<unsigned char>(*in)]) ++in;
    return in;
  }

  // The name's NameCache key, its length and whether it holds a colon, for an ASCII name of at
  // most 15 bytes; false for any other.
  bool KeyOf(const char* name, NameKey& key, std::size_t& length, bool& hasColon) const noexcept {
#if defined(__SSE2__)
    const auto at = reinterpret_cast<std::uintptr_t>(name);
    if (at < reinterpret_cast<std::uintptr_t>(begin) || name + 16 > end) return false;
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name));
    const int terminators = _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_setzero_si128()));
    if (terminators == 0) return false;
    length = static_cast<std::size_t>(__builtin_ctz(terminators));
    // What follows the terminator is no part of the name: zeroed by a mask of `length` ones.
    static constexpr std::array<unsigned char, 32> kOnesThenZeros = [] {
      std::array<unsigned char, 32> mask{};
      for (std::size_t index = 0; index < 16; ++index) mask[index] = 0xFF;
      return mask;
    }();
    const __m128i bytes = _mm_and_si128(
        chunk,
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(kOnesThenZeros.data() + 16 - length)));
    if (_mm_movemask_epi8(bytes) != 0) return false;  // beyond ASCII
    hasColon = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(':'))) != 0;
    key.low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes));
    key.high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(bytes, bytes)));
    return true;
#else
    (void)name, (void)key, (void)length, (void)hasColon;
    return false;
#endif
  }
};

// The rest of Decode, from the first byte it must look at.
bool DecodeFrom(char* text, char* in, ReadText& decoded, bool inValue) {
  char* out = in;
  bool ascii = true;
  for (;; ++in) {
    char c = *in;
    if (!kSpecial[static_cast<unsigned char>(c)]) {
      *out++ = c;
      continue;
    }
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      *out++ = c;
      continue;
    }
    switch (c) {
      case '\0':
        if (out != in) *out = '\0';  // an unchanged text may be the parser's own constant ""
        decoded = {{text, static_cast<std::size_t>(out - text)}, ascii};
        return true;
      case '&': {
        const char* semicolon = in + 1;
        while (*semicolon != ';' && *semicolon != '\0' && semicolon - in < 12) ++semicolon;
        char32_t value = 0;
        if (*semicolon != ';' || !ReadReference({in + 1, semicolon}, value)) return false;
        in = const_cast<char*>(semicolon);
        ascii = ascii && value < 0x80;
        WriteUtf8(value, [&out](char byte) { *out++ = byte; });
        continue;
      }
      case '\r':
        if (in[1] == '\n') ++in;
        c = inValue ? ' ' : '\n';
        break;
      case '\n':
      case '\t':
        if (inValue) c = ' ';
        break;
      case '<':
        return false;
      default:  // ']'
        if (!inValue && in[1] == ']' && in[2] == '>') return false;
        break;
    }
    *out++ = c;
  }
}

// Replaces references and normalises line ends (in a value, also white space) as an XML
// reader does, in place in the NUL-terminated text the parser left in our buffer: the result
// is never longer than the raw text. False for anything expat must judge: a bare '&', an
// unknown reference, "]]>" in text, '<' in a value. Most texts are plain ASCII to their end,
// which is all the inline part looks at.
[[gnu::always_inline]] inline bool Decode(char* text, ReadText& decoded, bool inValue,
                                          const ParsedBytes& bytes) {
  char* in = text + (bytes.SkipPlain(text) - text);
  if (*in == '\0') {
    decoded = {{text, static_cast<std::size_t>(in - text)}, true};
    return true;
  }
  return DecodeFrom(text, in, decoded, inValue);
}

// Names and values point into the buffer the parser read in place, which is ours to change.
char* Writable(const char* parsed) { return const_cast<char*>(parsed); }

class PugixmlReader {
 public:
  PugixmlReader(TreeBuilder& builder, ParsedBytes bytes)
      : builder_(builder), attributes_(builder.Attributes()), bytes_(bytes) {}

  bool Read(const pugi::xml_document& document) {
    pugi::xml_node root;
    for (pugi::xml_node child = document.first_child(); child; child = child.next_sibling()) {
      if (child.type() == pugi::node_element && !root) {
        root = child;
      } else if (child.type() == pugi::node_pcdata) {
        if (!IsXmlSpace(child.value())) return false;
      } else if (child.type() != pugi::node_comment || *child.value() != '\0' ||
                 child.next_sibling()) {
        return false;  // only the sentinel, last, is expected
      }
    }
    return root && Walk(root);
  }

 private:
  // Depth first without recursion: a deep text must not exhaust the stack. Where pugixml is
  // linked rather than compiled in, every call into it crosses into its library, so each is made
  // once per node: the depth, not a comparison with the root, tells when the walk is back up.
  bool Walk(const pugi::xml_node root) {
    pugi::xml_node node = root;
    std::size_t depth = 0;  // of node below root
    for (;;) {
      PrefetchAhead(node.internal_object());
      const pugi::xml_node_type type = node.type();
      if (type == pugi::node_element) {
        if (!Open(node) || !AddText(node.value())) return false;
        if (const pugi::xml_node child = node.first_child()) {
          node = child;
          ++depth;
          continue;
        }
        builder_.EndElement();
      } else if (type == pugi::node_pcdata) {
        if (!AddText(node.value())) return false;
      } else {
        return false;
      }
      for (;;) {
        if (depth == 0) return true;
        if (const pugi::xml_node next = node.next_sibling()) {
          node = next;
          break;
        }
        node = node.parent();
        --depth;
        builder_.EndElement();
      }
    }
  }

  // A run of text, unless empty: an element's first one is its value (see kOptions).
  bool AddText(const char* raw) {
    if (*raw == '\0') return true;
    ReadText text;
    if (!Decode(Writable(raw), text, false, bytes_)) return false;
    builder_.AddWholeText(text);
    return true;
  }

  // A name the name cache knows is neither scanned nor looked up again. Read into its place,
  // since a name is too large to be handed back in registers.
  void ReadNameAt(const char* name, ReadName& read) const {
    NameKey key;
    std::size_t length = 0;
    bool hasColon = false;
    if (!bytes_.KeyOf(name, key, length, hasColon)) {
      read = ReadName::Scan(name);
      return;
    }
    if (const Name* known = builder_.Names().Find(key)) {
      read = {};
      read.text = {name, length};
      read.asciiHash = known->hash;
      read.hasColon = hasColon;
      read.known = known;
      return;
    }
    read = ReadName::Scan(name);
    read.keyed = true;
    read.key = key;
  }

  // Names beyond ASCII are left to expat, which knows which characters a name may hold.
  bool Open(const pugi::xml_node element) {
    ReadName tag;
    ReadNameAt(element.name(), tag);
    if (!tag.ascii) return false;
    attributes_.clear();
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute;
         attribute = attribute.next_attribute()) {
      if (attributes_.size() == kMostAttributes) return false;
      ReadAttribute& read = attributes_.emplace_back();
      ReadNameAt(attribute.name(), read.name);
      if (!read.name.ascii || !Decode(Writable(attribute.value()), read.value, true, bytes_)) {
        return false;
      }
      for (const ReadAttribute& earlier : std::span(attributes_).first(attributes_.size() - 1)) {
        if (earlier.name.text == read.name.text) return false;
      }
    }
    return builder_.StartElement(tag, attributes_);
  }

  TreeBuilder& builder_;
  std::vector<ReadAttribute>& attributes_;
  const ParsedBytes bytes_;
};

}  // namespace

bool ReadWithPugixml(TreeBuilder& builder, std::string_view utf8) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (utf8.starts_with(kByteOrderMark)) return false;

  InputBuffer& input = builder.Input();
  struct LetGo {
    InputBuffer& input;
    ~LetGo() { input.LetGoIfLarge(); }
  } letGo{input};
  // Checked as it is copied: one pass over the text instead of two.
  const std::size_t parsedSize = utf8.size() + kSentinel.size();
  char* const buffer = input.Room(parsedSize + kPadding);
  if (!CopyXmlText(utf8, buffer)) return false;
  kSentinel.copy(buffer + utf8.size(), kSentinel.size());
  std::fill_n(buffer + parsedSize, kPadding, '\0');

  // Text that comes first in an element is kept as the element's value rather than as a node of
  // its own: a reply's fields are mostly elements holding one text, and each node pugixml need
  // not make is also one the walk need not visit.
  constexpr unsigned kOptions = pugi::parse_minimal | pugi::parse_fragment | pugi::parse_comments |
                                pugi::parse_pi | pugi::parse_declaration | pugi::parse_doctype |
                                pugi::parse_cdata | pugi::parse_embed_pcdata;
  pugi::xml_document document;
  const pugi::xml_parse_result parsed =
      document.load_buffer_inplace(buffer, parsedSize, kOptions, pugi::encoding_utf8);
  if (parsed.status == pugi::status_out_of_memory) throw std::bad_alloc();
  if (!parsed) return false;
  return PugixmlReader(builder, {buffer, buffer + parsedSize + kPadding}).Read(document);
}

}  // namespace quenlo::platform::dom
