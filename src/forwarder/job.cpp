#include "forwarder/job.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "forwarder/store.h"

namespace tavirex::dicom {
namespace {

// Far more than any job the plug-in writes; a larger file is not read.
constexpr std::uint64_t kMostJobBytes = 1 << 20;

}  // namespace

Job ParseJob(std::string_view text) {
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) throw std::runtime_error("the job is not JSON");
  const auto format = json.find("format");
  if (format == json.end() || *format != kOutboxJobFormat) {
    throw std::runtime_error(std::string("the job's format is not \"") + kOutboxJobFormat + "\"");
  }
  const auto version = json.find("version");
  if (version == json.end() || !version->is_number_unsigned() ||
      version->get<unsigned long long>() > kOutboxJobVersion) {
    throw std::runtime_error("the job's version is newer than " +
                             std::to_string(kOutboxJobVersion));
  }
  const auto text_of = [](const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  const auto host_it = json.find("host");
  const nlohmann::json host =
      host_it != json.end() && host_it->is_object() ? *host_it : nlohmann::json::object();
  Job job;
  job.captured = text_of(json, "captured");
  // A text the job lacks is empty; a number it lacks refuses the job; a derived
  // text it lacks stays absent.
#define TAVIREX_JOB_TEXT(Name) job.Name = text_of(host, #Name);
#define TAVIREX_JOB_NUMBER(Name)                                                           \
  if (const auto it = host.find(#Name); it == host.end() || !it->is_number_integer() ||    \
                                        it->get<long long>() != it->get<std::int32_t>()) { \
    throw std::runtime_error("the job has no " #Name " (a whole number of 32 bits)");      \
  } else {                                                                                 \
    job.Name = it->get<std::int32_t>();                                                    \
  }
#define TAVIREX_JOB_DERIVED(Name)                                              \
  if (const auto it = host.find(#Name); it != host.end() && it->is_string()) { \
    job.Name = it->get<std::string>();                                         \
  }
#include "vocabulary/job_fields.def"
  const auto files = json.find("files");
  if (files != json.end() && !files->is_array())
    throw std::runtime_error("the job's files are not a list");
  if (files != json.end()) {
    for (const auto& f : *files) {
      if (!f.is_string()) throw std::runtime_error("the job's files are not all texts");
      job.files.push_back(f.get<std::string>());
    }
  }
  if (job.files.empty()) throw std::runtime_error("the job lists no files");
  return job;
}

Job ReadJob(const std::filesystem::path& file) {
  // Not through a link, and not a pipe that would never end.
  Fd fd;
  std::optional<std::uint64_t> size;
  try {
    fd = OpenEntry(OpenRoot(file.parent_path()), file, file.filename().string(), false);
    size = RegularFileSize(fd);
  } catch (const Refused& refused) {
    throw std::runtime_error(std::string("the job cannot be read: ") + refused.what());
  }
  if (!size || *size > kMostJobBytes) {
    throw std::runtime_error("the job is not a regular file of at most 1 MB");
  }
  std::string text(static_cast<std::size_t>(*size), '\0');
  text.resize(ReadAt(fd, text.data(), text.size(), 0));
  return ParseJob(text);
}

}  // namespace tavirex::dicom
