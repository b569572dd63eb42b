#include "vocabulary/outbox_job.h"

#include <chrono>
#include <cstdint>

#include "winrules/utf8.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

// The DLL links no printf.
void AppendHex(std::string& text, std::uint64_t value, int digits) {
  while (digits-- > 0) text += "0123456789abcdef"[(value >> (4 * digits)) & 0xF];
}

void AppendEscape(std::string& text, char32_t unit) {
  text += "\\u";
  AppendHex(text, unit, 4);
}

// A JSON string of `text`, appended to `out`.
void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Char c = DecodeUtf8(text, at);
    at += c.length;
    char32_t code_point = c.code_point;
    if (code_point == kNotUtf8 || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      code_point = 0xFFFD;
    }
    if (code_point == '"' || code_point == '\\') {
      out += '\\';
      out += static_cast<char>(code_point);
    } else if (code_point >= 0x20 && code_point < 0x7F) {
      out += static_cast<char>(code_point);
    } else if (code_point < 0x10000) {
      AppendEscape(out, code_point);
    } else {
      AppendEscape(out, 0xD800 + ((code_point - 0x10000) >> 10));
      AppendEscape(out, 0xDC00 + ((code_point - 0x10000) & 0x3FF));
    }
  }
  out += '"';
}

}  // namespace

std::string CapturedText(const CivilDateTime& c) {
  std::string text = TwoDigits(c.year / 100);
  for (const auto& [separator, value] : {std::pair{"", c.year % 100},
                                         {"-", c.month},
                                         {"-", c.day},
                                         {"T", c.hour},
                                         {":", c.minute},
                                         {":", c.second}}) {
    text += separator;
    text += TwoDigits(value);
  }
  return text;
}

std::string OutboxJobText(const OutboxJob& job) {
  std::string text = "{\r\n  \"format\": ";
  AppendJsonString(text, kOutboxJobFormat);
  text += ",\r\n  \"version\": ";
  text += std::to_string(kOutboxJobVersion);
  text += ",\r\n  \"captured\": ";
  AppendJsonString(text, job.captured);
  text += ",\r\n  \"host\": {";
  const char* separator = "\r\n    \"";
  auto key = [&](const char* name) {
    text += separator;
    text += name;
    text += "\": ";
    separator = ",\r\n    \"";
  };
#define TAVIREX_JOB_TEXT(Name) key(#Name), AppendJsonString(text, job.Name);
#define TAVIREX_JOB_NUMBER(Name) key(#Name), text += std::to_string(job.Name);
#define TAVIREX_JOB_DERIVED(Name) \
  if (job.Name) key(#Name), AppendJsonString(text, *job.Name);
#include "vocabulary/job_fields.def"
  text += "\r\n  },\r\n  \"files\": [";
  separator = "\r\n    ";
  for (const std::string& file : job.files) {
    text += separator;
    AppendJsonString(text, file);
    separator = ",\r\n    ";
  }
  text += "\r\n  ]\r\n}\r\n";
  return text;
}

std::string OutboxJobName(std::string_view captured, std::int32_t exam, int attempt) {
  std::string name;
  for (const char c : captured) {
    if (c != '-' && c != ':') name += c;
  }
  name += '_';
  name += std::to_string(exam);
  if (attempt > 1) {
    name += '-';
    name += std::to_string(attempt);
  }
  name += ".job";
  return name;
}

std::string OutboxJobTemporaryName(std::string_view job_name) {
  // Two workstations, or two host windows, may write the same job name into a
  // shared outbox in the same second: each writes a temporary file of its
  // own, named by the monotonic clock's count and the address of the
  // writer's stack, before the rename decides which name the job gets.
  // (std::random_device would add a tenth to the DLL's size.)
  const int here = 0;
  std::string name = "." + std::string(job_name) + ".";
  AppendHex(name, std::chrono::steady_clock::now().time_since_epoch().count(), 16);
  AppendHex(name, reinterpret_cast<std::uintptr_t>(&here), 2 * sizeof(std::uintptr_t));
  return name + ".tmp";
}

bool IsOutboxJobName(std::string_view name) {
  return name.size() > 4 && name[0] != '.' && name.ends_with(".job");
}

}  // namespace tavirex
