// The outbox job: at the end of a capture, what the host told about the
// patient and the exam and where the images were stored, as one JSON file in
// the outbox folder, for the program that sends the images to a DICOM
// archive. Written by the plug-in, read by the forwarder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winrules/vb_date.h"

namespace tavirex {

inline constexpr const char* kOutboxJobFormat = "tavirex-outbox-job";
// Readers refuse a job of a newer version; a field added that older readers
// may ignore keeps the version.
inline constexpr int kOutboxJobVersion = 1;

// The Windows service that sends the jobs, under the name its package installs.
inline constexpr const char* kForwarderServiceName = "tavirex-dicom";

struct OutboxJob {
  std::string captured;  // "2026-12-06T20:55:03"
#define TAVIREX_JOB_TEXT(Name) std::string Name;
#define TAVIREX_JOB_NUMBER(Name) std::int32_t Name = 0;
#define TAVIREX_JOB_DERIVED(Name) std::optional<std::string> Name;
#include "vocabulary/job_fields.def"
  std::vector<std::string> files;  // Windows paths as the plug-in stored them
};

// "yyyy-mm-ddThh:mm:ss".
std::string CapturedText(const CivilDateTime& when);

// The job as the plug-in writes it: ASCII alone, every other character as
// \u escapes, since the platform's files are written through the ANSI code
// page, which keeps ASCII as it is in every code page. A stray byte or a
// lone surrogate (which the core keeps for a BSTR's sake, but no JSON reader
// takes) becomes U+FFFD. Lines end in CR LF.
std::string OutboxJobText(const OutboxJob& job);

// "<yyyymmdd>T<hhmmss>_<ExamRecNum>.job" for the CapturedText `captured`,
// with "-<attempt>" before ".job" from the second attempt on: a job never
// replaces another.
std::string OutboxJobName(std::string_view captured, std::int32_t exam, int attempt);

// A hidden name, of this writer alone, that a job is written under before it
// is renamed to `job_name`.
std::string OutboxJobTemporaryName(std::string_view job_name);

// True for the names readers take: ending in ".job", not starting with ".".
bool IsOutboxJobName(std::string_view name);

}  // namespace tavirex
