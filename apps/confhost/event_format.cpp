#include "apps/confhost/event_format.h"

#include <cstdio>

namespace quenlo::confhost {
namespace {

// Bare words stay bare; anything a reader could split or misread is quoted.
std::string TextValue(const std::string& value) {
  const bool plain = !value.empty() && value.find_first_of(" \t\r\n\"=\\") == std::string::npos;
  return plain ? value : JsonString(value);
}

void AppendFields(const host::ResultSnapshot& snapshot, std::string& out) {
  for (const host::ResultField& field : snapshot.fields) {
    out += ' ';
    out += field.name;
    out += '=';
    out += TextValue(field.value);
  }
}

void AppendEntriesText(const host::ResultSnapshot& snapshot, int depth, std::string& out) {
  for (const host::ResultSnapshot& entry : snapshot.entries) {
    out += '\n';
    out.append(static_cast<std::size_t>(depth) * 4, ' ');
    out += entry.kind.empty() ? "entry" : entry.kind;
    AppendFields(entry, out);
    AppendEntriesText(entry, depth + 1, out);
  }
}

void AppendJson(const host::ResultSnapshot& snapshot, std::string& out) {
  out += "{\"kind\":";
  out += JsonString(snapshot.kind);
  out += ",\"values\":{";
  bool first = true;
  for (const host::ResultField& field : snapshot.fields) {
    if (!first) out += ',';
    first = false;
    out += JsonString(field.name);
    out += ':';
    out += field.is_number ? field.value : JsonString(field.value);
  }
  out += '}';
  if (!snapshot.entries.empty()) {
    out += ",\"entries\":[";
    for (std::size_t i = 0; i < snapshot.entries.size(); ++i) {
      if (i > 0) out += ',';
      AppendJson(snapshot.entries[i], out);
    }
    out += ']';
  }
  out += '}';
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string FormatEventText(const std::string& participant, const std::string& path,
                            const host::ResultSnapshot& result) {
  std::string out = "[" + participant + "] " + path;
  if (result.kind.empty()) return out + " (no object)";
  AppendFields(result, out);
  AppendEntriesText(result, 1, out);
  return out;
}

std::string FormatEventJson(const std::string& participant, const std::string& path,
                            const host::ResultSnapshot& result) {
  std::string out = "{\"participant\":" + JsonString(participant) +
                    ",\"event\":" + JsonString(path) + ",\"object\":";
  if (result.kind.empty()) {
    out += "null";
  } else {
    AppendJson(result, out);
  }
  out += '}';
  return out;
}

}  // namespace quenlo::confhost
