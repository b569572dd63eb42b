// The outbox and the forwarder's state beside it: the jobs in name order,
// failed/ with the reason of each job there, a progress note per job (the
// instance UIDs the archive confirmed) and the status of the last pass.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "forwarder/settings.h"
#include "forwarder/system.h"

namespace tavirex::dicom {

// The outbox or the state folder cannot serve: missing, not a folder, or
// not both readable and writable by this user. The message says what to do.
class FolderProblem : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Throws FolderProblem; creates the state folder when it is missing.
void CheckFolders(const Settings& settings);

// One forwarder per outbox: a lock on a file in it, which every machine that
// mounts the outbox sees. Held until destroyed; throws AnotherForwarder.
class AnotherForwarder : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class OutboxLock {
 public:
  explicit OutboxLock(const std::filesystem::path& outbox);
  OutboxLock(const OutboxLock&) = delete;
  OutboxLock& operator=(const OutboxLock&) = delete;

 private:
  Fd fd_;
};

// The job names of a folder, sorted; none when it cannot be listed.
std::vector<std::string> JobNames(const std::filesystem::path& folder);

// Moves a job to failed/, its reason beside it.
void MoveToFailed(const Settings& settings, const std::string& job, const std::string& reason);

// The instance UIDs of a job that the archive confirmed. Not flushed: a note
// lost in a crash only sends an instance again, which the archive already
// holds under the same UID.
class ProgressNote {
 public:
  ProgressNote(const Settings& settings, const std::string& job);
  std::set<std::string> Read() const;
  void Add(const std::string& instance_uid) const;
  void Remove() const;

 private:
  std::filesystem::path file_;
};

// status.json in the state folder: the pending jobs' reasons and the last
// delivery.
nlohmann::json ReadState(const Settings& settings);
void WriteState(const Settings& settings, const nlohmann::json& state);

struct Status {
  struct Entry {
    std::string job, reason;
    std::size_t files = 0, sent = 0;
  };
  std::vector<Entry> pending, failed;
  std::string last_delivery_time, last_delivery_job;
  long long last_delivery_instances = 0;
};
Status ReadStatus(const Settings& settings);

}  // namespace tavirex::dicom
