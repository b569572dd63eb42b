#include "forwarder/outbox.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "forwarder/job.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;
namespace {

// Writes a file durably under a temporary name, then renames it.
void WriteFile(const fs::path& file, const std::string& content) {
  const fs::path temporary = file.parent_path() / ("." + file.filename().string() + ".tmp");
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot write " + temporary.string());
  const bool written =
      ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
      ::fsync(fd) == 0;
  ::close(fd);
  if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
    throw std::runtime_error("cannot write " + file.string());
  }
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::string> JobNames(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (IsOutboxJobName(name) && entry.is_regular_file()) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void MoveToFailed(const Settings& settings, const std::string& job, const std::string& reason) {
  const fs::path failed = settings.outbox / "failed";
  fs::create_directories(failed);
  WriteFile(failed / (job + ".txt"), reason + "\n");
  fs::rename(settings.outbox / job, failed / job);
}

ProgressNote::ProgressNote(const Settings& settings, const std::string& job)
    : file_(settings.state / "progress" / job) {}

std::set<std::string> ProgressNote::Read() const {
  std::set<std::string> lines;
  std::ifstream in(file_);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

void ProgressNote::Add(const std::string& instance_uid) const {
  const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot write " + file_.string());
  const std::string text = instance_uid + "\n";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written) throw std::runtime_error("cannot write " + file_.string());
}

void ProgressNote::Remove() const { fs::remove(file_); }

nlohmann::json ReadState(const Settings& settings) {
  const auto state =
      nlohmann::json::parse(ReadText(settings.state / "status.json"), nullptr, false);
  return state.is_object() ? state : nlohmann::json::object();
}

void WriteState(const Settings& settings, const nlohmann::json& state) {
  WriteFile(settings.state / "status.json", state.dump(2) + "\n");
}

Status ReadStatus(const Settings& settings) {
  Status status;
  const nlohmann::json state = ReadState(settings);
  const nlohmann::json reasons = state.value("pending", nlohmann::json::object());
  for (const std::string& name : JobNames(settings.outbox)) {
    Status::Entry entry{name, "", 0, ProgressNote(settings, name).Read().size()};
    if (reasons.contains(name) && reasons[name].is_string()) entry.reason = reasons[name];
    try {
      entry.files = ReadJob(settings.outbox / name).files.size();
    } catch (const std::exception& error) {
      entry.reason = error.what();
    }
    status.pending.push_back(entry);
  }
  for (const std::string& name : JobNames(settings.outbox / "failed")) {
    std::string reason = ReadText(settings.outbox / "failed" / (name + ".txt"));
    while (!reason.empty() && reason.back() == '\n') reason.pop_back();
    status.failed.push_back({name, reason, 0, 0});
  }
  if (state.contains("last_delivery")) {
    const nlohmann::json& last = state["last_delivery"];
    status.last_delivery_time = last.value("time", "");
    status.last_delivery_job = last.value("job", "");
    status.last_delivery_instances = last.value("instances", 0LL);
  }
  return status;
}

}  // namespace tavirex::dicom
