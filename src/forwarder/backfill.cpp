#include <deque>
#include <map>

#include "forwarder/send.h"
#include "vocabulary/stored_name.h"

namespace tavirex::dicom {
namespace fs = std::filesystem;

BackfillResult Backfill(const Settings& settings, const fs::path& folder, const std::string& device,
                        const std::atomic<bool>& stop,
                        const std::function<void(std::size_t, std::size_t)>& progress) {
  BackfillResult result;
  const std::optional<StorePath> place = MapStorePath(settings, fs::absolute(folder).string());
  const std::vector<std::string> files = StoreFiles(OpenStoreFolder(place.value()), result.skipped);
  // One job per exam, as the capture would have written it.
  std::deque<Job> jobs;
  std::vector<Item> items;
  std::map<std::string, std::pair<Job*, int>> exams;
  for (const std::string& name : files) {
    const StoredName stored(name);
    if (!stored.IsComplete()) {
      result.skipped.push_back(name + ": not a stored name (too few fields)");
      continue;
    }
    try {
      const std::string key = stored.PatID() + "_" + stored.Exam();
      auto [it, added] = exams.try_emplace(key, nullptr, 0);
      if (added) {
        Job& job = jobs.emplace_back();
        job.ExamRecNum = std::stoi(stored.Exam());
        job.DeviceName = device;
        it->second.first = &job;
      }
      items.push_back({it->second.first, {place->root, place->below / name}, ++it->second.second});
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
        result.skipped.push_back(items[i].file.Name() + ": " + reason);
        progress(++done, items.size());
        return true;
      },
      stop);
  return result;
}

}  // namespace tavirex::dicom
