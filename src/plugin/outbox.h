// The outbox job: at the end of a capture, what the host told about the
// patient and the exam and where the images were stored, written as one JSON
// file into the folder that "DicomOutbox" of PXEquip.ini names, for the
// program that sends the images to a DICOM archive. The plug-in only writes
// the job; it holds no DICOM and no network code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "hostenv/platform.h"
#include "plugin/cls_tavirex.h"

namespace tavirex {

// Section "Tavirex" (kTavirexSection) of the equipment INI: a local or UNC
// folder. Without a value nothing is written.
inline constexpr const char* kDicomOutboxKey = "DicomOutbox";

// When the equipment INI names an outbox and `stored_files` is not empty,
// writes the job there under a hidden temporary name, flushes it, then renames
// it to "<yyyymmdd>T<hhmmss>_<ExamRecNum>.job" ("-2", "-3"... before ".job"
// when that name is taken: a job is never replaced). Catches everything: a
// job that cannot be written leaves one entry in the error file, no box, and
// no temporary file.
// A job's BirthDate: `date_of_birth` read with the workstation's regional
// settings, as "YYYY-MM-DD", only when it is a whole date of the past (day,
// month and a four-digit year, no time part); otherwise empty, never a guess.
std::string IsoBirthDate(Platform& platform, std::string_view date_of_birth);

void WriteOutboxJob(Platform& platform, const TavirexProperties& props,
                    const std::vector<std::string>& stored_files) noexcept;

}  // namespace tavirex
