#include "forwarder/job.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace tavirex::dicom {

Job ReadJob(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("the job cannot be read");
  const nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
  if (json.is_discarded() || !json.is_object()) throw std::runtime_error("the job is not JSON");
  if (json.value("format", "") != kOutboxJobFormat) {
    throw std::runtime_error(std::string("the job's format is not \"") + kOutboxJobFormat + "\"");
  }
  if (!json.contains("version") || !json["version"].is_number_integer() ||
      json["version"].get<int>() > kOutboxJobVersion) {
    throw std::runtime_error("the job's version is newer than " +
                             std::to_string(kOutboxJobVersion));
  }
  const nlohmann::json host = json.value("host", nlohmann::json::object());
  Job job;
  job.captured = json.value("captured", "");
  // A text the job lacks is empty; a number it lacks refuses the job; a derived
  // text it lacks stays absent.
#define TAVIREX_JOB_TEXT(Name)                                                 \
  if (const auto it = host.find(#Name); it != host.end() && it->is_string()) { \
    job.Name = it->get<std::string>();                                         \
  }
#define TAVIREX_JOB_NUMBER(Name)                                   \
  if (!host.contains(#Name) || !host[#Name].is_number_integer()) { \
    throw std::runtime_error("the job has no " #Name);             \
  }                                                                \
  job.Name = host[#Name].get<long long>();
#define TAVIREX_JOB_DERIVED(Name)                                              \
  if (const auto it = host.find(#Name); it != host.end() && it->is_string()) { \
    job.Name = it->get<std::string>();                                         \
  }
#include "vocabulary/job_fields.def"
  const nlohmann::json files = json.value("files", nlohmann::json::array());
  for (const auto& f : files) {
    if (!f.is_string()) throw std::runtime_error("the job's files are not all texts");
    job.files.push_back(f.get<std::string>());
  }
  if (job.files.empty()) throw std::runtime_error("the job lists no files");
  return job;
}

}  // namespace tavirex::dicom
