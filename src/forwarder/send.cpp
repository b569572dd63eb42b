#include "forwarder/send.h"

#include <condition_variable>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <variant>

#include "forwarder/instance.h"
#include "forwarder/outbox.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;
namespace {

// How many prepared instances wait for the wire at most: the one being sent
// and the next.
constexpr std::size_t kAhead = 1;

std::string Now() {
  const std::time_t now = std::time(nullptr);
  const std::tm local = LocalTime(now);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// Where a job's files are; a reason in place of them when a path does not
// map or its folder is not there (a share not mounted). Refused for a path
// outside the store.
std::variant<std::vector<StorePath>, std::string> LocalFiles(const Settings& settings,
                                                             const Job& job) {
  std::vector<StorePath> files;
  for (const std::string& windows : job.files) {
    const std::optional<StorePath> local = MapStorePath(settings, windows);
    if (!local) return "no [paths] entry maps " + windows;
    try {
      OpenStoreFolder({local->root, local->below.parent_path()});
    } catch (const NotThere& missing) {
      return "the folder of " + windows + " is not there (" + missing.what() + ")";
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
        prepared.instance = MakeInstance(*items[i].job, items[i].file, items[i].number,
                                         settings.sop_class, settings.max_megapixels);
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
      try {
        archive.Store(std::move(*next.instance));
      } catch (const Rejected& rejected) {  // for good: only this image's job stops
        if (!on_refused(next.index, rejected.what())) {
          finish();
          return true;
        }
        continue;
      }
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
    std::variant<std::vector<StorePath>, std::string> local;
    try {
      job = ReadJob(job_file);
      local = LocalFiles(settings, job);
    } catch (const std::exception& refused) {
      MoveToFailed(settings, name, refused.what());
      ++result.failed;
      continue;
    }
    if (auto* reason = std::get_if<std::string>(&local)) {
      reasons[name] = *reason;
      ++result.pending;
      continue;
    }
    const ProgressNote progress(settings, name);
    const auto& files = std::get<std::vector<StorePath>>(local);
    // Every image is the job's patient's before the first is sent.
    try {
      for (const StorePath& file : files) CheckIdentity(job, file.Name());
    } catch (const Refused& refused) {
      MoveToFailed(settings, name, refused.what());
      progress.Remove();
      ++result.failed;
      continue;
    }
    const std::set<std::string> confirmed = progress.Read();
    std::vector<Item> items;
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (!confirmed.contains(InstanceUid(files[i].Name()))) {
        items.push_back({&job, files[i], static_cast<int>(i + 1)});
      }
    }
    std::string refusal, held;
    bool finished = false;
    std::size_t sent = 0;
    try {
      finished = SendItems(
          archive, settings, items,
          [&](std::size_t i) {
            progress.Add(InstanceUid(items[i].file.Name()));
            ++sent;
          },
          [&](std::size_t i, const std::string& reason) {
            refusal = items[i].file.Name() + ": " + reason;
            return false;
          },
          stop);
    } catch (const Unreachable& unreachable) {
      held = unreachable.what();
    }
    if (!held.empty()) {
      result.reason = reasons[name] = held;
      ++result.pending;
      break;  // the archive decides for every job alike
    }
    if (!finished) {
      result.stopped = name + ": " + std::to_string(confirmed.size() + sent) + " of " +
                       std::to_string(files.size()) + " instances confirmed, " +
                       std::to_string(items.size() - sent) + " left";
      ++result.pending;
    } else if (!refusal.empty()) {
      MoveToFailed(settings, name, refusal);
      progress.Remove();
      ++result.failed;
    } else {
      fs::remove(job_file);
      progress.Remove();
      state["last_delivery"] = {
          {"time", Now()}, {"job", name}, {"instances", static_cast<long long>(files.size())}};
      ++result.delivered;
    }
  }
  state["pending"] = reasons;
  WriteState(settings, state);
  return result;
}

}  // namespace tavirex::dicom
