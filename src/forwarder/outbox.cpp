#include "forwarder/outbox.h"

#include <algorithm>
#include <fstream>
#include <memory>

#include "forwarder/job.h"
#include "hostenv/system.h"
#include "winrules/vb_error.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;
namespace {

// The queue's flushes and renames, as the plug-in's are done.
Platform& Services() {
  static const std::unique_ptr<Platform> services = MakeSystemPlatform(false);
  return *services;
}

// Writes a file durably under a temporary name, then renames it.
void WriteFile(const fs::path& file, const std::string& content) {
  const fs::path temporary = file.parent_path() / ("." + file.filename().string() + ".tmp");
  try {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!(out << content) || (out.close(), !out)) throw std::runtime_error("");
    Services().FlushFile(temporary.string());
    Services().MoveReplacing(temporary.string(), file.string());
  } catch (const std::exception&) {
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
  return AccessProblem(folder);
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
  fd_ = OpenLockFile(file);
  if (!fd_.valid()) throw FolderProblem("cannot write " + file.string());
  if (!LockAlone(fd_)) {
    const std::string holder = ReadText(file);
    throw AnotherForwarder("another forwarder is running on " + outbox.string() +
                           (holder.empty() ? "" : " (" + holder + ")") +
                           "; one forwarder per outbox: stop the other one first");
  }
  NoteHolder(fd_);
}

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
  // A job of that name failed before (sent back by hand, say): this one goes
  // beside it, "-2" before ".job", so that neither is lost.
  const std::string stem = job.substr(0, job.size() - 4);
  for (int n = 1; n < 1000; ++n) {
    const std::string name = n == 1 ? job : stem + "-" + std::to_string(n) + ".job";
    if (fs::exists(failed / name)) continue;
    WriteFile(failed / (name + ".txt"), reason + "\n");
    try {
      Services().MoveFile((settings.outbox / job).string(), (failed / name).string());
      return;
    } catch (const VbError& error) {
      throw std::runtime_error("cannot move " + job + " to " + failed.string() + ": " +
                               error.description());
    }
  }
  throw std::runtime_error("cannot move " + job + " to " + failed.string() +
                           ": 999 failed jobs of that name are there");
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
  std::ofstream out(file_, std::ios::binary | std::ios::app);
  if (!(out << instance_uid << "\n") || (out.close(), !out)) {
    throw std::runtime_error("cannot write " + file_.string());
  }
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
