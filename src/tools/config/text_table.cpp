#include "tools/config/text_table.h"

#include <algorithm>

namespace tavirex::config {
namespace {

void PrintRow(std::ostream& out, const std::vector<std::string>& cells,
              const std::vector<std::size_t>& widths) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += "  ";
    line += cells[i];
    if (i + 1 < cells.size() && i < widths.size()) line.append(widths[i] - cells[i].size(), ' ');
  }
  line.erase(line.find_last_not_of(' ') + 1);
  out << line << "\n";
}

}  // namespace

void TextTable::Print(std::ostream& out) const {
  std::vector<std::size_t> widths(headers_.size(), 0);
  for (std::size_t i = 0; i < headers_.size(); ++i) widths[i] = headers_[i].size();
  for (const auto& row : rows_) {
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  PrintRow(out, headers_, widths);
  std::vector<std::string> rule;
  for (std::size_t width : widths) rule.emplace_back(width, '-');
  PrintRow(out, rule, widths);
  for (const auto& row : rows_) {
    if (row.empty()) {
      out << "\n";
    } else {
      PrintRow(out, row, widths);
    }
  }
}

}  // namespace tavirex::config
