// A plain text table with aligned columns, for the demo's readable output.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace quenlo::confhost {

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headings);

  void AddRow(std::vector<std::string> cells);
  // Each line starts with `indent` blanks; columns are as wide as their widest cell.
  void Print(std::ostream& out, std::size_t indent = 4) const;

 private:
  std::vector<std::vector<std::string>> rows_;  // the headings first
};

}  // namespace quenlo::confhost
