#include "expat_reader.h"

#include <expat.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace quenlo::platform::dom {
namespace {

struct ParserDeleter {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using ParserHandle = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

// One expat parser per thread, reset between texts instead of made and freed for each: reset
// keeps its tables and buffers, and making one costs more than parsing a short reply.
XML_Parser ReadyParser(const char* encoding) {
  thread_local ParserHandle parser;
  // Fixed per thread rather than drawn for every text as a new parser would; still unknown to
  // whoever writes the text, which is what keeps expat's tables safe from colliding names.
  thread_local const unsigned long salt = [] {
    std::random_device random;
    return static_cast<unsigned long>(random()) | 1u;
  }();
  if (parser == nullptr || XML_ParserReset(parser.get(), encoding) != XML_TRUE) {
    parser.reset(XML_ParserCreate(encoding));
    if (parser == nullptr) throw std::bad_alloc();
  }
  XML_SetHashSalt(parser.get(), salt);
  return parser.get();
}

class ExpatReader {
 public:
  ExpatReader(XML_Parser parser, TreeBuilder& builder) : parser_(parser), builder_(builder) {
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &ExpatReader::OnStart, &ExpatReader::OnEnd);
    XML_SetCharacterDataHandler(parser, &ExpatReader::OnText);
    XML_SetDoctypeDeclHandler(parser, nullptr, &ExpatReader::OnDoctypeEnd);
    XML_SetEntityDeclHandler(parser, &ExpatReader::OnEntityDeclaration);
  }

  ParseOutcome Run(const char* bytes, std::size_t length) {
    // expat takes int lengths, so larger inputs (a host may raise the limit) go in slices.
    constexpr std::size_t kSlice = std::size_t{1} << 30;
    XML_Status status = XML_STATUS_OK;
    do {
      const std::size_t slice = std::min(length, kSlice);
      const bool last = slice == length;
      status = XML_Parse(parser_, bytes, static_cast<int>(slice), last ? XML_TRUE : XML_FALSE);
      bytes += slice;
      length -= slice;
    } while (status == XML_STATUS_OK && length > 0);
    if (failure_) std::rethrow_exception(failure_);
    if (status != XML_STATUS_OK && !builder_.Refused()) {
      builder_.Refuse(XmlParseStatus::Malformed, XML_ErrorString(XML_GetErrorCode(parser_)));
      NoteWhere();
    }
    if (builder_.Refused()) {
      outcome_.result.status = builder_.Status();
      outcome_.result.message = builder_.Reason() + " at line " + std::to_string(outcome_.line) +
                                ", column " + std::to_string(outcome_.column);
    }
    return outcome_;
  }

 private:
  template <class Handler>
  static void Dispatch(void* userData, Handler&& handler) {
    auto& reader = *static_cast<ExpatReader*>(userData);
    if (reader.builder_.Refused() || reader.failure_) return;
    try {
      handler(reader.builder_);
    } catch (...) {
      // Exceptions must not unwind through expat's C frames; rethrown once it returns.
      reader.failure_ = std::current_exception();
      XML_StopParser(reader.parser_, XML_FALSE);
      return;
    }
    if (reader.builder_.Refused()) {
      reader.NoteWhere();
      XML_StopParser(reader.parser_, XML_FALSE);
    }
  }

  static void XMLCALL OnStart(void* userData, const XML_Char* name, const XML_Char** attributes) {
    Dispatch(userData, [&](TreeBuilder& builder) {
      std::vector<ReadAttribute>& read = builder.Attributes();
      read.clear();
      for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
        read.push_back({ReadName::Scan(attribute[0]), ReadText::Of(attribute[1])});
      }
      builder.StartElement(ReadName::Scan(name), read);
    });
  }
  static void XMLCALL OnEnd(void* userData, const XML_Char*) {
    Dispatch(userData, [](TreeBuilder& builder) { builder.EndElement(); });
  }
  static void XMLCALL OnText(void* userData, const XML_Char* text, int length) {
    Dispatch(userData, [&](TreeBuilder& builder) {
      builder.AppendText({text, static_cast<std::size_t>(length)});
    });
  }
  static void XMLCALL OnDoctypeEnd(void* userData) {
    Dispatch(userData, [](TreeBuilder& builder) {
      builder.Refuse(XmlParseStatus::DoctypeRefused, "document type declaration refused");
    });
  }
  static void XMLCALL OnEntityDeclaration(void* userData, const XML_Char* name, int,
                                          const XML_Char*, int, const XML_Char*, const XML_Char*,
                                          const XML_Char*, const XML_Char*) {
    Dispatch(userData, [&](TreeBuilder& builder) {
      builder.Refuse(XmlParseStatus::EntityRefused,
                     "entity declaration refused (" + std::string(name) + ")");
    });
  }

  void NoteWhere() {
    outcome_.line = static_cast<long>(XML_GetCurrentLineNumber(parser_));
    outcome_.column = static_cast<long>(XML_GetCurrentColumnNumber(parser_)) + 1;
  }

  XML_Parser parser_;
  TreeBuilder& builder_;
  ParseOutcome outcome_;
  std::exception_ptr failure_;
};

}  // namespace

ParseOutcome ReadWithExpat(TreeBuilder& builder, const char* bytes, std::size_t length,
                           const char* encoding) {
  return ExpatReader(ReadyParser(encoding), builder).Run(bytes, length);
}

}  // namespace quenlo::platform::dom
