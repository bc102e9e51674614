// What a host reads of each reply, read with pugixml: the values the module's accessors hand out,
// texts as views and numbers converted. The other side of every reply's ratio, shared by the timed
// benchmarks and the instruction counts.
#pragma once

#include <benchmark/benchmark.h>

#include <pugixml.hpp>
#include <string>

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

}  // namespace quenlo::confext
