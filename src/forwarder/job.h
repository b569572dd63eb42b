// An outbox job: what the plug-in knew about one capture (JOB_FORMAT in the
// README's "Sending images to a DICOM archive").
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tavirex::dicom {

struct Job {
  std::string captured;  // "2026-12-06T20:55:03"
  std::string PATIENTID, LastName, FirstName, MiddleName, DateOfBirth, Gender;
  long long ExamRecNum = 0;
  std::string ProviderName, DeviceName, CompanyName, Model;
  std::vector<std::string> files;  // Windows paths as the plug-in stored them
};

// Reads a job file; throws std::runtime_error with the reason it is refused.
Job ReadJob(const std::filesystem::path& file);

// True for the names readers take: ending in ".job", not starting with ".".
bool IsJobName(const std::string& name);

}  // namespace tavirex::dicom
