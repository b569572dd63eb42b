#include "tools/config/ini_document.h"

#include <algorithm>
#include <map>

#include "hostenv/system.h"
#include "winrules/ini_profile.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
IniDocument::IniDocument(std::string_view file_bytes) {
  // Edited as UTF-8 like all text here, written back in the file's code page;
  // a UTF-16 file is read as the profile API reads it, for reports only.
  const std::optional<std::string> ansi = AnsiFromUtf16Profile(file_bytes);
  const std::string text = Utf8FromProfileBytes(ansi ? *ansi : file_bytes);
  std::map<std::string, std::size_t> ends;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    const std::size_t width = text.compare(end, 2, "\r\n") == 0 ? 2 : end < text.size() ? 1 : 0;
    lines_.push_back({text.substr(start, end - start), text.substr(end, width)});
    ++ends[lines_.back().end];
    start = end + width;
  }
  const std::size_t crlf = ends["\r\n"], lf = ends["\n"], cr = ends["\r"];
  line_end_ = lf > crlf && lf >= cr ? "\n" : cr > crlf && cr > lf ? "\r" : "\r\n";
}

std::string IniDocument::Bytes() const {
  std::string bytes;
  for (const Line& line : lines_) bytes += line.text + line.end;
  return ProfileBytesFromUtf8(bytes);
}

std::vector<IniDocument::Section> IniDocument::Sections() const {
  std::vector<Section> sections;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const ProfileLine line = ReadProfileLine(lines_[i].text);
    if (line.kind != ProfileLine::Kind::kSection) continue;
    if (!sections.empty()) sections.back().end = i;
    sections.push_back({std::string(line.name), i, lines_.size()});
  }
  return sections;
}

std::optional<IniDocument::Section> IniDocument::FindSection(std::string_view name) const {
  for (const Section& section : Sections()) {
    if (EqualsIgnoreCaseAscii(section.name, ProfileTrim(name))) return section;
  }
  return std::nullopt;
}

std::vector<IniDocument::Key> IniDocument::Keys(const Section& section) const {
  std::vector<Key> keys;
  for (std::size_t i = section.header + 1; i < section.end; ++i) {
    const ProfileLine line = ReadProfileLine(lines_[i].text);
    if (line.kind == ProfileLine::Kind::kKey) keys.push_back({std::string(line.name), i});
  }
  return keys;
}

std::size_t IniDocument::EndOfKeys(const Section& section) const {
  std::vector<Key> keys = Keys(section);
  return keys.empty() ? section.header + 1 : keys.back().line + 1;
}

std::optional<std::size_t> IniDocument::FindKey(std::string_view section,
                                                std::string_view name) const {
  const std::optional<Section> found = FindSection(section);
  for (const Key& key : found ? Keys(*found) : std::vector<Key>()) {
    if (EqualsIgnoreCaseAscii(key.name, ProfileTrim(name))) return key.line;
  }
  return std::nullopt;
}

void IniDocument::Insert(std::size_t index, const std::vector<std::string>& texts) {
  if (index > 0 && lines_[index - 1].end.empty()) lines_[index - 1].end = line_end_;
  std::vector<Line> added;
  for (const std::string& text : texts) added.push_back({text, line_end_});
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), added.begin(), added.end());
}

void IniDocument::AppendSection(std::string_view name, const std::vector<std::string>& keys) {
  std::vector<std::string> block;
  if (!lines_.empty() && !ProfileTrim(lines_.back().text).empty()) block.emplace_back();
  block.emplace_back(1, '[');  // appended: GCC 12 warns wrongly (-Wrestrict) about "[" + name
  (block.back() += name) += ']';
  block.insert(block.end(), keys.begin(), keys.end());
  Insert(lines_.size(), block);
}

void IniDocument::ReplaceValue(std::size_t index, std::string_view value) {
  std::string& text = lines_[index].text;
  if (text.find('=') == std::string::npos) text = std::string(ProfileTrim(text)) + "=";
  text = text.substr(0, text.find_first_not_of(" \t", text.find('=') + 1)) + std::string(value);
}

void IniDocument::Remove(std::size_t first, std::size_t last) {
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first),
               lines_.begin() + static_cast<std::ptrdiff_t>(last));
}

void IniDocument::RemoveSection(const Section& section) {
  std::size_t first = section.header;
  std::size_t last = EndOfKeys(section);
  std::size_t blank_end = last;
  while (blank_end < section.end && ProfileTrim(lines_[blank_end].text).empty()) ++blank_end;
  if (blank_end == section.end) last = blank_end;
  if (last == lines_.size() && first > 0 && ProfileTrim(lines_[first - 1].text).empty()) --first;
  Remove(first, last);
}

}  // namespace tavirex::config
