#include "plugin/outbox.h"

#include <cmath>
#include <exception>
#include <optional>

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
  const std::optional<VbDate> date = platform.ParseDate(text);
  if (!date || !HasDatePart(*date) || HasTimePart(*date) || text.find(':') != text.npos ||
      *date > std::trunc(platform.Now())) {
    return "";
  }
  // The reading fills in what the text leaves out ("3/4" this year, "03/04/25"
  // a century): only three parts, one of them the year in four digits.
  const CivilDateTime day = ToCivil(*date);
  const std::string year = std::to_string(day.year);
  int parts = 0;
  bool year_given = false;
  for (std::size_t i = 0, begin = 0; i <= text.size(); ++i) {
    const unsigned char c = i < text.size() ? text[i] : ' ';
    if (c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) continue;
    if (i > begin) {
      ++parts;
      year_given = year_given || text.substr(begin, i - begin) == year;
    }
    begin = i + 1;
  }
  if (parts != 3 || !year_given || day.year < 1000) return "";
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

    OutboxJob job;
    job.captured = CapturedText(ToCivil(platform.Now()));
#define TAVIREX_JOB_TEXT(Name) job.Name = props.Name;
#define TAVIREX_JOB_NUMBER(Name) job.Name = props.Name;
#include "vocabulary/job_fields.def"
    job.BirthDate = IsoBirthDate(platform, props.DateOfBirth);
    job.files = stored_files;

    temporary = folder + OutboxJobTemporaryName(OutboxJobName(job.captured, job.ExamRecNum, 1));
    platform.AppendToFile(temporary, OutboxJobText(job));
    platform.FlushFile(temporary);
    for (int n = 1;; ++n) {
      try {
        platform.MoveFile(temporary, folder + OutboxJobName(job.captured, job.ExamRecNum, n));
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
