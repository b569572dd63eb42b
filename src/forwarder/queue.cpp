#include "forwarder/queue.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <thread>
#include <variant>

#include "forwarder/instance.h"
#include "plugin/capture.h"
#include "winrules/vb_error.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;
namespace {

// How many prepared instances wait for the wire at most: the one being sent
// and the next.
constexpr std::size_t kAhead = 1;

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

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

// Not flushed: a note lost in a crash only sends an instance again, which
// the archive already holds under the same UID.
void AppendLine(const fs::path& file, const std::string& line) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot write " + file.string());
  const std::string text = line + "\n";
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  if (!written) throw std::runtime_error("cannot write " + file.string());
}

std::set<std::string> ReadLines(const fs::path& file) {
  std::set<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

nlohmann::json ReadState(const Settings& settings) {
  const auto state =
      nlohmann::json::parse(ReadText(settings.state / "status.json"), nullptr, false);
  return state.is_object() ? state : nlohmann::json::object();
}

void WriteState(const Settings& settings, const nlohmann::json& state) {
  WriteFile(settings.state / "status.json", state.dump(2) + "\n");
}

fs::path ProgressFile(const Settings& settings, const std::string& job) {
  return settings.state / "progress" / job;
}

std::string InstanceUidOf(const fs::path& local) {
  return NameUid("instance\n" + local.filename().string());
}

std::vector<std::string> JobNames(const fs::path& outbox) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(outbox, error)) {
    const std::string name = entry.path().filename().string();
    if (IsJobName(name) && entry.is_regular_file()) names.push_back(name);
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

// The local paths of a job's files; a reason in place of them when a path
// does not map or its folder is not there (a share not mounted).
std::variant<std::vector<fs::path>, std::string> LocalFiles(const Settings& settings,
                                                            const Job& job) {
  std::vector<fs::path> files;
  for (const std::string& windows : job.files) {
    const std::optional<fs::path> local = MapWindowsPath(settings, windows);
    if (!local) return "no [paths] entry maps " + windows;
    if (!fs::is_directory(local->parent_path())) {
      return "the folder " + local->parent_path().string() + " of " + windows + " is not there";
    }
    files.push_back(*local);
  }
  return files;
}

}  // namespace

bool SendItems(Archive& archive, const Settings& settings, const std::vector<Item>& items,
               const std::function<void(std::size_t)>& on_sent,
               const std::function<bool(std::size_t, const std::string&)>& on_refused,
               const std::atomic<bool>& stop) {
  struct Prepared {
    std::size_t index;
    std::optional<Instance> instance;
    std::string refusal;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Prepared> ready;
  bool cancelled = false;

  std::thread preparer([&] {
    for (std::size_t i = 0; i < items.size(); ++i) {
      Prepared prepared{i, std::nullopt, ""};
      try {
        prepared.instance =
            MakeInstance(*items[i].job, items[i].local, items[i].number, settings.sop_class);
      } catch (const Refused& refused) {
        prepared.refusal = refused.what();
      }
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return cancelled || ready.size() <= kAhead; });
      if (cancelled) return;
      ready.push_back(std::move(prepared));
      changed.notify_all();
    }
  });
  const auto finish = [&] {
    {
      std::lock_guard lock(mutex);
      cancelled = true;
    }
    changed.notify_all();
    preparer.join();
  };
  try {
    for (std::size_t done = 0; done < items.size(); ++done) {
      if (stop) {
        finish();
        return false;
      }
      Prepared next;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return !ready.empty(); });
        next = std::move(ready.front());
        ready.pop_front();
      }
      changed.notify_all();
      if (!next.instance) {
        if (!on_refused(next.index, next.refusal)) {
          finish();
          return true;
        }
        continue;
      }
      archive.Store(std::move(*next.instance));
      on_sent(next.index);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return true;
}

PassResult RunPass(const Settings& settings, const std::atomic<bool>& stop) {
  PassResult result;
  fs::create_directories(settings.state / "progress");
  nlohmann::json state = ReadState(settings);
  nlohmann::json reasons = nlohmann::json::object();
  Archive archive(settings);
  for (const std::string& name : JobNames(settings.outbox)) {
    if (stop) break;
    const fs::path job_file = settings.outbox / name;
    Job job;
    try {
      job = ReadJob(job_file);
    } catch (const std::exception& refused) {
      MoveToFailed(settings, name, refused.what());
      ++result.failed;
      continue;
    }
    auto local = LocalFiles(settings, job);
    if (auto* reason = std::get_if<std::string>(&local)) {
      reasons[name] = *reason;
      ++result.pending;
      continue;
    }
    const fs::path progress = ProgressFile(settings, name);
    const std::set<std::string> confirmed = ReadLines(progress);
    std::vector<Item> items;
    const auto& files = std::get<std::vector<fs::path>>(local);
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (!confirmed.contains(InstanceUidOf(files[i]))) {
        items.push_back({&job, files[i], static_cast<int>(i + 1)});
      }
    }
    std::string refusal;
    bool finished = false;
    try {
      finished = SendItems(
          archive, settings, items,
          [&](std::size_t i) { AppendLine(progress, InstanceUidOf(items[i].local)); },
          [&](std::size_t i, const std::string& reason) {
            refusal = items[i].local.filename().string() + ": " + reason;
            return false;
          },
          stop);
    } catch (const Unreachable& unreachable) {
      result.reason = unreachable.what();
      reasons[name] = result.reason;
      ++result.pending;
      break;  // the archive decides for every job alike
    }
    if (!finished) {
      ++result.pending;
    } else if (!refusal.empty()) {
      MoveToFailed(settings, name, refusal);
      fs::remove(progress);
      ++result.failed;
    } else {
      fs::remove(job_file);
      fs::remove(progress);
      state["last_delivery"] = {
          {"time", Now()}, {"job", name}, {"instances", static_cast<long long>(files.size())}};
      ++result.delivered;
    }
  }
  state["pending"] = reasons;
  WriteState(settings, state);
  return result;
}

Status ReadStatus(const Settings& settings) {
  Status status;
  const nlohmann::json state = ReadState(settings);
  const nlohmann::json reasons = state.value("pending", nlohmann::json::object());
  for (const std::string& name : JobNames(settings.outbox)) {
    Status::Entry entry{name, "", 0, ReadLines(ProgressFile(settings, name)).size()};
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

BackfillResult Backfill(const Settings& settings, const fs::path& folder, const std::string& device,
                        const std::atomic<bool>& stop,
                        const std::function<void(std::size_t, std::size_t)>& progress) {
  BackfillResult result;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  // One job per exam, as the capture would have written it.
  std::deque<Job> jobs;
  std::vector<Item> items;
  std::map<std::string, std::pair<Job*, int>> exams;
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    try {
      const StoredName stored(name);
      static_cast<void>(stored.Time());
      const std::string key = stored.PatID() + "_" + stored.Exam();
      auto [it, added] = exams.try_emplace(key, nullptr, 0);
      if (added) {
        Job& job = jobs.emplace_back();
        job.ExamRecNum = std::stoll(stored.Exam());
        job.DeviceName = device;
        it->second.first = &job;
      }
      items.push_back({it->second.first, file, ++it->second.second});
    } catch (const VbError&) {
      result.skipped.push_back(name + ": not a stored name (too few fields)");
    } catch (const std::exception&) {
      result.skipped.push_back(name + ": the exam number is not a number");
    }
  }
  Archive archive(settings);
  std::size_t done = 0;
  progress(done, items.size());
  SendItems(
      archive, settings, items,
      [&](std::size_t) {
        ++result.sent;
        progress(++done, items.size());
      },
      [&](std::size_t i, const std::string& reason) {
        result.skipped.push_back(items[i].local.filename().string() + ": " + reason);
        progress(++done, items.size());
        return true;
      },
      stop);
  return result;
}

}  // namespace tavirex::dicom
