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

  std::vector<Section> Sections() const;
  // The first section of that name, case ignored: the one the profile API reads.
  std::optional<Section> FindSection(std::string_view name) const;
  // Key lines of a section in file order, duplicates included.
  std::vector<Key> Keys(const Section& section) const;
  // Where a new key goes: after the last key line, before blanks and comments.
  std::size_t EndOfKeys(const Section& section) const;

  // The line the profile API reads for key `name` of `section` (the first of each).
  std::optional<std::size_t> FindKey(std::string_view section, std::string_view name) const;

  // Inserts lines before line `index`; new lines end as most of the file's do.
  void Insert(std::size_t index, const std::vector<std::string>& texts);
  // Appends "[name]" and key lines at the end, after an empty line when the
  // file has text.
  void AppendSection(std::string_view name, const std::vector<std::string>& keys);
  void ReplaceText(std::size_t index, std::string text) { lines_[index].text = std::move(text); }
  // Replaces what follows the '=' and the blanks after it.
  void ReplaceValue(std::size_t index, std::string_view value);
  // Removes lines [first, last).
  void Remove(std::size_t first, std::size_t last);
  // Removes a section, and the blank lines after it; comments that follow stay,
  // as they may describe the next section. One at the end also takes the
  // empty line AppendSection put before it.
  void RemoveSection(const Section& section);

 private:
  std::vector<Line> lines_;
  std::string line_end_;
};

}  // namespace tavirex::config
