// An INI file as lines that keep their bytes and their own line ends, read
// the way the Windows profile API reads it (sections, keys, comments), so
// that an edit changes only the lines it means to change.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavirex::config {

class IniDocument {
 public:
  struct Line {
    std::string text;  // without its line end
    std::string end;   // "\r\n", "\n", "\r" or "" (the last line may have none)
  };
  struct Section {
    std::string name;        // as the profile API compares it: trimmed
    std::size_t header = 0;  // index of the "[name]" line
    std::size_t end = 0;     // one past its last line
  };
  struct Key {
    std::string name;  // trimmed text before the first '='
    std::size_t line = 0;
  };

  explicit IniDocument(std::string_view bytes);

  const std::vector<Line>& lines() const { return lines_; }
  std::string Bytes() const;
  // The line end new lines get: the one most of the file's lines end with;
  // CRLF, as Windows writes them, when there is none.
  const std::string& line_end() const { return line_end_; }

  std::vector<Section> Sections() const;
  // The first section of that name, without regard to case: the only one the
  // profile API searches.
  std::optional<Section> FindSection(std::string_view name) const;
  // Key lines of a section in file order, duplicates included.
  std::vector<Key> Keys(const Section& section) const;
  // One past the section's last key line (its header line when it has none):
  // where a new key goes, before trailing blank and comment lines.
  std::size_t EndOfKeys(const Section& section) const;

  // The first line of key `name` in the section (the one the profile API
  // reads); nullopt when there is none.
  std::optional<std::size_t> FindKey(const Section& section, std::string_view name) const;

  // Inserts lines before line `index` (lines().size() appends). A line
  // without an end before them gets the file's line end.
  void Insert(std::size_t index, const std::vector<std::string>& texts);
  // Appends lines at the end, after an empty line when the file has text.
  void AppendBlock(const std::vector<std::string>& texts);
  void ReplaceText(std::size_t index, std::string text) { lines_[index].text = std::move(text); }
  // Replaces the value of a key line: what follows the '=' and the blanks
  // after it; the key as written stays.
  void ReplaceValue(std::size_t index, std::string_view value);
  // Removes lines [first, last).
  void Remove(std::size_t first, std::size_t last);
  // Removes a section: its header, its keys and the blank lines after them
  // up to the next header; comments that follow stay, as they may describe
  // the next section. A section at the end also takes the empty line before
  // it, which AppendBlock put there.
  void RemoveSection(const Section& section);

  static std::string SectionHeader(std::string_view name);  // "[name]"

  static bool IsComment(std::string_view text);

 private:
  std::vector<Line> lines_;
  std::string line_end_;
};

}  // namespace tavirex::config
