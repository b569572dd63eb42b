#include "plugin/outbox.h"

#include <exception>
#include <optional>
#include <tuple>

#include "hostenv/error_report.h"
#include "hostenv/host_paths.h"
#include "vocabulary/outbox_job.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"
#include "winrules/vb_string.h"

namespace tavirex {
namespace {

// Names tried for one exam in one second before the job counts as unwritable.
constexpr int kMaxJobNames = 999;

}  // namespace

std::string IsoBirthDate(Platform& platform, std::string_view text) {
  // The reading fills in what the text leaves out ("3/4" this year, "03/04/25"
  // a century): only a text of three parts, one of them the year in four
  // digits, and no time is taken.
  if (text.find(':') != std::string_view::npos) return "";
  std::vector<std::string_view> parts;
  for (std::size_t at = 0; at < text.size();) {
    const auto in_part = [&](std::size_t i) {
      const auto c = static_cast<unsigned char>(text[i]);
      return c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
    };
    std::size_t end = at;
    while (end < text.size() && in_part(end)) ++end;
    if (end > at) parts.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  const std::optional<VbDate> date = platform.ParseDate(text);
  if (parts.size() != 3 || !date || !HasDatePart(*date) || HasTimePart(*date)) return "";
  const CivilDateTime day = ToCivil(*date), today = ToCivil(platform.Now());
  const std::string year = TwoDigits(day.year / 100) + TwoDigits(day.year % 100);
  if (day.year < 1000 || (parts[0] != year && parts[1] != year && parts[2] != year)) return "";
  if (std::tie(day.year, day.month, day.day) > std::tie(today.year, today.month, today.day)) {
    return "";
  }
  return year + "-" + TwoDigits(day.month) + "-" + TwoDigits(day.day);
}

void WriteOutboxJob(Platform& platform, const TavirexProperties& props,
                    const std::vector<std::string>& stored_files) noexcept {
  std::string outbox, temporary;
  try {
    if (stored_files.empty()) return;
    outbox = platform.ReadProfileString(kTavirexSection, kDicomOutboxKey, kEquipIniFileName);
    if (outbox.empty()) return;
    const std::string folder = outbox.back() == '\\' ? outbox : outbox + "\\";

    const CivilDateTime now = ToCivil(platform.Now());
    OutboxJob job;
    job.captured = CapturedText(now);
#define TAVIREX_JOB_TEXT(Name) job.Name = props.Name;
#define TAVIREX_JOB_NUMBER(Name) job.Name = props.Name;
#include "vocabulary/job_fields.def"
    job.BirthDate = IsoBirthDate(platform, props.DateOfBirth);
    job.files = stored_files;

    temporary = folder + OutboxJobTemporaryName(OutboxJobName(now, job.ExamRecNum, 1));
    platform.AppendToFile(temporary, OutboxJobText(job));
    platform.FlushFile(temporary);
    for (int n = 1;; ++n) {
      try {
        platform.MoveFile(temporary, folder + OutboxJobName(now, job.ExamRecNum, n));
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
