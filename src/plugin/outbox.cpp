#include "plugin/outbox.h"

#include <chrono>
#include <cstdint>
#include <exception>

#include "hostenv/error_report.h"
#include "hostenv/host_paths.h"
#include "winrules/utf8.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

// Names tried for one exam in one second before the job counts as unwritable.
constexpr int kMaxJobNames = 999;

// The DLL links no printf.
void AppendHex(std::string& text, std::uint64_t value, int digits) {
  while (digits-- > 0) text += "0123456789abcdef"[(value >> (4 * digits)) & 0xF];
}

void AppendEscape(std::string& text, char32_t unit) {
  text += "\\u";
  AppendHex(text, unit, 4);
}

// ASCII alone, every other character as \u escapes: the platform's files are
// written through the ANSI code page, which keeps ASCII as it is in every
// code page. A stray byte or a lone surrogate (which the core keeps for a
// BSTR's sake, but no JSON reader takes) becomes U+FFFD.
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

std::string JobText(const TavirexProperties& p, const std::string& captured,
                    const std::vector<std::string>& stored_files) {
  std::string text = "{\r\n  \"format\": \"tavirex-outbox-job\",\r\n  \"version\": 1,\r\n";
  text += "  \"captured\": \"" + captured + "\",\r\n  \"host\": {";
  const char* separator = "\r\n";
  auto field = [&](const char* key, const std::string& json) {
    text += separator + std::string("    \"") + key + "\": " + json;
    separator = ",\r\n";
  };
  field("PATIENTID", JsonString(p.PATIENTID));
  field("LastName", JsonString(p.LastName));
  field("FirstName", JsonString(p.FirstName));
  field("MiddleName", JsonString(p.MiddleName));
  field("DateOfBirth", JsonString(p.DateOfBirth));
  field("Gender", JsonString(p.Gender));
  field("ExamRecNum", std::to_string(p.ExamRecNum));
  field("ProviderName", JsonString(p.ProviderName));
  field("DeviceName", JsonString(p.DeviceName));
  field("CompanyName", JsonString(p.CompanyName));
  field("Model", JsonString(p.Model));
  text += "\r\n  },\r\n  \"files\": [";
  separator = "\r\n    ";
  for (const std::string& file : stored_files) {
    text += separator + JsonString(file);
    separator = ",\r\n    ";
  }
  return text + "\r\n  ]\r\n}\r\n";
}

// Two workstations, or two host windows, may write the same job name into a
// shared outbox in the same second: each writes a temporary file of its own,
// named by the monotonic clock's count and the address of the writer's stack,
// before the rename decides which name the job gets. (std::random_device
// would add a tenth to the DLL's size.)
std::string UniqueTag() {
  const int here = 0;
  std::string tag;
  AppendHex(tag, std::chrono::steady_clock::now().time_since_epoch().count(), 16);
  AppendHex(tag, reinterpret_cast<std::uintptr_t>(&here), 2 * sizeof(std::uintptr_t));
  return tag;
}

}  // namespace

void WriteOutboxJob(Platform& platform, const TavirexProperties& props,
                    const std::vector<std::string>& stored_files) noexcept {
  std::string outbox, temporary;
  try {
    if (stored_files.empty()) return;
    outbox = platform.ReadProfileString(kTavirexSection, kDicomOutboxKey, kEquipIniFileName);
    if (outbox.empty()) return;
    const std::string folder = outbox.back() == '\\' ? outbox : outbox + "\\";

    const CivilDateTime now = ToCivil(platform.Now());
    const std::string year = TwoDigits(now.year / 100) + TwoDigits(now.year % 100);
    const std::string date[] = {TwoDigits(now.month), TwoDigits(now.day), TwoDigits(now.hour),
                                TwoDigits(now.minute), TwoDigits(now.second)};
    const std::string name = year + date[0] + date[1] + "T" + date[2] + date[3] + date[4] + "_" +
                             std::to_string(props.ExamRecNum);
    const std::string captured =
        year + "-" + date[0] + "-" + date[1] + "T" + date[2] + ":" + date[3] + ":" + date[4];

    // Readers take only names that end in ".job" and do not start with ".".
    temporary = folder + "." + name + ".job." + UniqueTag() + ".tmp";
    platform.AppendToFile(temporary, JobText(props, captured, stored_files));
    platform.FlushFile(temporary);
    for (int n = 1;; ++n) {
      try {
        platform.MoveFile(temporary,
                          folder + name + (n > 1 ? "-" + std::to_string(n) : "") + ".job");
        return;
      } catch (const VbError& failure) {
        if (failure.number() != vberr::kFileAlreadyExists || n == kMaxJobNames) throw;
      }
    }
  } catch (...) {
    try {
      const VbError failure = CurrentFailure(std::current_exception());
      if (!temporary.empty()) {
        try {
          platform.DeleteFile(temporary);
        } catch (...) {  // never created
        }
      }
      AppendErrorEntry(platform, "WriteOutboxJob-strOutbox=" + outbox, failure);
    } catch (...) {
      // The error file cannot be written either: the capture ends as it would
      // without an outbox.
    }
  }
}

}  // namespace tavirex
