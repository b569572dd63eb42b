// JSON for programs that read the tool's reports: objects, arrays, strings,
// numbers, booleans and null, indented by two blanks.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tavirex::config {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}
  ~JsonWriter() { out_ << "\n"; }

  // Inside an object every value is preceded by Key().
  void Key(std::string_view name);
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void String(std::string_view text);
  void Number(long long value);
  void Bool(bool value);
  void Null();

  // Key and value together; nullopt writes null.
  void Field(std::string_view name, std::string_view text) {
    Key(name);
    String(text);
  }
  void FieldOrNull(std::string_view name, const std::optional<std::string>& text);
  void NumberOrNull(std::string_view name, std::optional<long long> value);

  // Text in the workstation's code page is written as it is when it is
  // UTF-8; any other byte above 127 stands for the character of that number
  // (Latin-1), so the output is always valid.
  static std::string Quote(std::string_view text);

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void Indent();

  std::ostream& out_;
  std::vector<bool> has_items_;  // per open object or array
  bool after_key_ = false;
};

}  // namespace tavirex::config
