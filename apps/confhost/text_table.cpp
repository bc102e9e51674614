#include "apps/confhost/text_table.h"

#include <algorithm>

namespace quenlo::confhost {
namespace {

// Characters, not bytes, so that accented names keep the columns straight.
std::size_t DisplayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::ranges::count_if(
      text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

TextTable::TextTable(std::vector<std::string> headings) { rows_.push_back(std::move(headings)); }

void TextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(rows_.front().size());
  rows_.push_back(std::move(cells));
}

void TextTable::Print(std::ostream& out, std::size_t indent) const {
  std::vector<std::size_t> widths(rows_.front().size(), 0);
  for (const auto& row : rows_) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], DisplayWidth(row[column]));
    }
  }
  for (std::size_t index = 0; index < rows_.size(); ++index) {
    std::string line(indent, ' ');
    const auto& row = rows_[index];
    for (std::size_t column = 0; column < row.size(); ++column) {
      line += row[column];
      if (column + 1 < row.size()) line.append(widths[column] - DisplayWidth(row[column]) + 2, ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
    if (index == 0) {
      std::string rule(indent, ' ');
      for (std::size_t column = 0; column < widths.size(); ++column) {
        rule.append(widths[column], '-');
        if (column + 1 < widths.size()) rule += "  ";
      }
      out << rule << '\n';
    }
  }
}

}  // namespace quenlo::confhost
