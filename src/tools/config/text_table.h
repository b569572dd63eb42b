// Columns aligned for a terminal: a header, a rule, rows and gaps.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tavirex::config {

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headers) : headers_(std::move(headers)) {}
  void AddRow(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }
  // An empty line between groups of rows.
  void AddGap() { rows_.emplace_back(); }
  void Print(std::ostream& out) const;

 private:
  std::vector<std::string> headers_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace tavirex::config
