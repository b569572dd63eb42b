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

std::string JsonString(std::string_view text) {
  std::string quoted = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Char c = DecodeUtf8(text, at);
    at += c.length;
    char32_t code_point = c.code_point;
    if (code_point == kNotUtf8 || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      code_point = 0xFFFD;
    }
    if (code_point == '"' || code_point == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(code_point);
    } else if (code_point >= 0x20 && code_point < 0x7F) {
      quoted += static_cast<char>(code_point);
    } else if (code_point < 0x10000) {
      AppendEscape(quoted, code_point);
    } else {
      AppendEscape(quoted, 0xD800 + ((code_point - 0x10000) >> 10));
      AppendEscape(quoted, 0xDC00 + ((code_point - 0x10000) & 0x3FF));
    }
  }
  return quoted + '"';
}

std::string Year(int year) { return TwoDigits(year / 100) + TwoDigits(year % 100); }

}  // namespace

std::string CapturedText(const CivilDateTime& c) {
  return Year(c.year) + "-" + TwoDigits(c.month) + "-" + TwoDigits(c.day) + "T" +
         TwoDigits(c.hour) + ":" + TwoDigits(c.minute) + ":" + TwoDigits(c.second);
}

std::string OutboxJobText(const OutboxJob& job) {
  std::string text = "{\r\n  \"format\": \"" + std::string(kOutboxJobFormat) +
                     "\",\r\n  \"version\": " + std::to_string(kOutboxJobVersion) + ",\r\n";
  text += "  \"captured\": " + JsonString(job.captured) + ",\r\n  \"host\": {";
  const char* separator = "\r\n";
  auto field = [&](const char* key, const std::string& json) {
    text += separator + std::string("    \"") + key + "\": " + json;
    separator = ",\r\n";
  };
#define TAVIREX_JOB_TEXT(Name) field(#Name, JsonString(job.Name));
#define TAVIREX_JOB_NUMBER(Name) field(#Name, std::to_string(job.Name));
#define TAVIREX_JOB_DERIVED(Name) \
  if (job.Name) field(#Name, JsonString(*job.Name));
#include "vocabulary/job_fields.def"
  text += "\r\n  },\r\n  \"files\": [";
  separator = "\r\n    ";
  for (const std::string& file : job.files) {
    text += separator + JsonString(file);
    separator = ",\r\n    ";
  }
  return text + "\r\n  ]\r\n}\r\n";
}

std::string OutboxJobName(const CivilDateTime& c, long long exam, int attempt) {
  return Year(c.year) + TwoDigits(c.month) + TwoDigits(c.day) + "T" + TwoDigits(c.hour) +
         TwoDigits(c.minute) + TwoDigits(c.second) + "_" + std::to_string(exam) +
         (attempt > 1 ? "-" + std::to_string(attempt) : "") + ".job";
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
