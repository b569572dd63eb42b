#include "plugin/outbox.h"

#include <exception>

#include "hostenv/error_report.h"
#include "hostenv/host_paths.h"
#include "vocabulary/outbox_job.h"
#include "winrules/vb_date.h"
#include "winrules/vb_error.h"

namespace tavirex {
namespace {

// Names tried for one exam in one second before the job counts as unwritable.
constexpr int kMaxJobNames = 999;

}  // namespace

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
