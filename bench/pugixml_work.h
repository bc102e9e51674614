// pugixml's side of every ratio, shared by the timed benchmarks and the instruction counts: what a
// host reads of each reply (the values the module's accessors hand out, texts as views and
// numbers converted), and the requests built and serialised.
#pragma once

#include <benchmark/benchmark.h>

#include <pugixml.hpp>
#include <string>

#include "workloads.h"

namespace quenlo::confext {

inline void ReadKithe(const pugi::xml_document& document) {
  const pugi::xml_node query = document.child("iq").child("query");
  benchmark::DoNotOptimize(query.child("qid").child_value());
  benchmark::DoNotOptimize(query.child("caption").child_value());
  benchmark::DoNotOptimize(query.child("multi").text().as_bool());
  benchmark::DoNotOptimize(query.child("reg").text().as_bool());
  benchmark::DoNotOptimize(query.child("count").text().as_int());
  for (const pugi::xml_node subject : query.children("subject")) {
    benchmark::DoNotOptimize(subject.attribute("name").value());
    benchmark::DoNotOptimize(subject.attribute("count").as_int());
  }
}

inline void ReadResult(const pugi::xml_document& document) {
  const pugi::xml_node query = document.child("iq").child("query");
  benchmark::DoNotOptimize(query.child("qid").child_value());
  benchmark::DoNotOptimize(query.child("caption").child_value());
  for (const pugi::xml_node subject : query.children("subject")) {
    benchmark::DoNotOptimize(subject.attribute("name").value());
    int votes = 0;
    for (const pugi::xml_node user : subject.children("user")) {
      benchmark::DoNotOptimize(user.child_value());
      ++votes;
    }
    benchmark::DoNotOptimize(votes);
  }
}

inline void ReadBrowse(const pugi::xml_document& document) {
  constexpr const char* kFields[] = {"text", "time", "qid", "type", "value", "code", "style"};
  const pugi::xml_node query = document.child("iq").child("query");
  for (const pugi::xml_node subject : query.children("subject")) {
    for (const char* field : kFields) {
      benchmark::DoNotOptimize(subject.child(field).child_value());
    }
  }
}

// Parses the text as pugixml's benchmarks do, with its default options, and reads it.
inline void ParseAndRead(const std::string& text, void (*read)(const pugi::xml_document&)) {
  pugi::xml_document document;
  document.load_buffer(text.data(), text.size());
  read(document);
}

// Collects what pugixml writes, so that its serialiser is timed to the same end as get_xml.
struct StringWriter final : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

// Serialises the node as get_xml does, without indentation, into text of its own.
inline void PrintRaw(const pugi::xml_node node) {
  StringWriter writer;
  node.print(writer, "", pugi::format_raw);
  benchmark::DoNotOptimize(writer.text.data());
}

// A "refer" request's iq with the given id, appended to `parent`; its query.
inline pugi::xml_node AppendReferQuery(pugi::xml_node parent, const char* id) {
  pugi::xml_node iq = parent.append_child("iq");
  iq.append_attribute("type") = "set";
  iq.append_attribute("to") = "room@conference.example";
  iq.append_attribute("id") = id;
  pugi::xml_node query = iq.append_child("query");
  query.append_attribute("type") = "refer";
  query.append_attribute("xmlns") = "quenlo:conf:voting";
  return query;
}

// The Refer that SendRefer10 sends, built and serialised.
inline void BuildAndPrintRefer10() {
  static const char* const kIndexes[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"};
  pugi::xml_document document;
  pugi::xml_node query = AppendReferQuery(document, "r1");
  query.append_child("qid").text() = "Q17";
  query.append_child("caption").text() = "Where do we go for lunch?";
  query.append_child("multi").text() = "false";
  query.append_child("reg").text() = "false";
  query.append_child("timeout");
  pugi::xml_node subjects = query.append_child("subjects");
  for (const char* index : kIndexes) {
    pugi::xml_node subject = subjects.append_child("subject");
    subject.text() = "A subject to choose";
    subject.append_attribute("index") = index;
  }
  PrintRaw(query.parent());
}

// The request BuildRequest builds, built in `document` with pugixml; its root.
inline pugi::xml_node BuildPugixmlRequest(pugi::xml_document& document) {
  pugi::xml_node query = AppendReferQuery(document, "req-18");
  for (int index = 0; index < kRequestSubjects; ++index) {
    query.append_child("subject").text() = "Pizza & pasta <today>";
  }
  return query.parent();
}

}  // namespace quenlo::confext
