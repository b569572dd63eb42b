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
  if (json.value("format", "") != "tavirex-outbox-job") {
    throw std::runtime_error("the job's format is not \"tavirex-outbox-job\"");
  }
  if (!json.contains("version") || !json["version"].is_number_integer() ||
      json["version"].get<int>() > 1) {
    throw std::runtime_error("the job's version is newer than 1");
  }
  const nlohmann::json host = json.value("host", nlohmann::json::object());
  const auto text = [&](const char* key) {
    const auto it = host.find(key);
    return it != host.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  Job job;
  job.captured = json.value("captured", "");
  job.PATIENTID = text("PATIENTID");
  job.LastName = text("LastName");
  job.FirstName = text("FirstName");
  job.MiddleName = text("MiddleName");
  job.DateOfBirth = text("DateOfBirth");
  job.Gender = text("Gender");
  job.ProviderName = text("ProviderName");
  job.DeviceName = text("DeviceName");
  job.CompanyName = text("CompanyName");
  job.Model = text("Model");
  if (!host.contains("ExamRecNum") || !host["ExamRecNum"].is_number_integer()) {
    throw std::runtime_error("the job has no ExamRecNum");
  }
  job.ExamRecNum = host["ExamRecNum"].get<long long>();
  const nlohmann::json files = json.value("files", nlohmann::json::array());
  for (const auto& f : files) {
    if (!f.is_string()) throw std::runtime_error("the job's files are not all texts");
    job.files.push_back(f.get<std::string>());
  }
  if (job.files.empty()) throw std::runtime_error("the job lists no files");
  return job;
}

bool IsJobName(const std::string& name) {
  return name.size() > 4 && name[0] != '.' && name.ends_with(".job");
}

}  // namespace tavirex::dicom
