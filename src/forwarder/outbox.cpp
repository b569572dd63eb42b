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

// Why a folder cannot serve; "" when it can.
std::string FolderFault(const fs::path& folder) {
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) return "does not exist";
  if (!fs::is_directory(status)) return "is not a folder";
  if (::faccessat(AT_FDCWD, folder.c_str(), R_OK | X_OK, AT_EACCESS) != 0) {
    return "cannot be read by this user";
  }
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK, AT_EACCESS) != 0) {
    return "cannot be written by this user";
  }
  return "";
}

}  // namespace

void CheckFolders(const Settings& settings) {
  if (const std::string fault = FolderFault(settings.outbox); !fault.empty()) {
    throw FolderProblem("the outbox " + settings.outbox.string() + " " + fault +
                        ": mount the share or correct outbox =, and let the forwarder's user "
                        "read and write it (delivered jobs are deleted there)");
  }
  std::error_code ignored;
  fs::create_directories(settings.state, ignored);
  if (const std::string fault = FolderFault(settings.state); !fault.empty()) {
    throw FolderProblem("the state folder " + settings.state.string() + " " + fault +
                        ": correct state = or let the forwarder's user create and write it");
  }
  fs::permissions(settings.state, fs::perms::owner_all);
}

OutboxLock::OutboxLock(const fs::path& outbox) {
  const fs::path file = outbox / ".tavirex-dicom.lock";
  fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) throw FolderProblem("cannot write " + file.string());
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (::fcntl(fd_, F_SETLK, &lock) != 0) {
    const std::string holder = ReadText(file);
    ::close(fd_);
    throw AnotherForwarder("another forwarder is running on " + outbox.string() +
                           (holder.empty() ? "" : " (" + holder + ")") +
                           "; one forwarder per outbox: stop the other one first");
  }
  char host[256] = "";
  ::gethostname(host, sizeof host - 1);
  const std::string holder = "process " + std::to_string(::getpid()) + " on " + host;
  const bool noted = ::ftruncate(fd_, 0) == 0 && ::pwrite(fd_, holder.data(), holder.size(), 0) ==
                                                     static_cast<ssize_t>(holder.size());
  (void)noted;  // without it, only a second forwarder's message is shorter
}

OutboxLock::~OutboxLock() { ::close(fd_); }

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
