#include "tools/config/json_writer.h"

#include <cstdio>

namespace tavirex::config {
namespace {

// The length of the UTF-8 sequence at `at`, or 0 when none starts there.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0                 ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  const unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string JsonWriter::Quote(std::string_view text) {
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else if (c < 0x80) {
      quoted += static_cast<char>(c);
    } else if (std::size_t length = Utf8Length(text, i); length != 0) {
      quoted.append(text.substr(i, length));
      i += length - 1;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    }
  }
  return quoted + "\"";
}

void JsonWriter::Indent() { out_ << "\n" << std::string(2 * has_items_.size(), ' '); }

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (has_items_.empty()) return;
  if (has_items_.back()) out_ << ",";
  has_items_.back() = true;
  Indent();
}

void JsonWriter::Key(std::string_view name) {
  BeforeValue();
  out_ << Quote(name) << ": ";
  after_key_ = true;
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ << bracket;
  has_items_.push_back(false);
}

void JsonWriter::Close(char bracket) {
  const bool had_items = has_items_.back();
  has_items_.pop_back();
  if (had_items) Indent();
  out_ << bracket;
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  out_ << Quote(text);
}

void JsonWriter::Number(long long value) {
  BeforeValue();
  out_ << value;
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
  BeforeValue();
  out_ << "null";
}

void JsonWriter::FieldOrNull(std::string_view name, const std::optional<std::string>& text) {
  Key(name);
  if (text) {
    String(*text);
  } else {
    Null();
  }
}

void JsonWriter::NumberOrNull(std::string_view name, std::optional<long long> value) {
  Key(name);
  if (value) {
    Number(*value);
  } else {
    Null();
  }
}

}  // namespace tavirex::config
