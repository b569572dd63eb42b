// Sending: stored images as instances through the archive, one pass over the
// outbox as a queue, and backfill. Jobs go in name order, each removed only when the
// archive confirmed every instance; a job whose image cannot become an
// instance goes to failed/ with its reason; an archive that cannot be reached
// leaves the job where it is. The store folders are only read (store.h).
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "forwarder/archive.h"
#include "forwarder/job.h"
#include "forwarder/settings.h"
#include "forwarder/store.h"

namespace tavirex::dicom {

// One stored image to send: the job it belongs to, where it is, its number.
struct Item {
  const Job* job;
  StorePath file;
  int number;
};

// Sends the items in order through the archive, preparing the next instance
// while the current one is on the wire. on_sent runs after the archive
// confirmed item i; on_refused(i, reason) when it cannot become an instance
// or the archive refused it for good, and tells whether to go on. Stops after the current instance
// when stop is set; false when it stopped early. Throws Unreachable.
bool SendItems(Archive& archive, const Settings& settings, const std::vector<Item>& items,
               const std::function<void(std::size_t)>& on_sent,
               const std::function<bool(std::size_t, const std::string&)>& on_refused,
               const std::atomic<bool>& stop);

struct PassResult {
  int delivered = 0;    // jobs removed after delivery
  int failed = 0;       // jobs moved to failed/
  int pending = 0;      // jobs left for a later pass
  std::string reason;   // why jobs were left, when they were
  std::string stopped;  // the job a stop cut short, and how far it got
};

// One pass over the outbox.
PassResult RunPass(const Settings& settings, const std::atomic<bool>& stop);

// Backfill (backfill.cpp): the stored images of a folder, stored before the
// outbox was set up, each sent with the identity a job would give it: the
// patient of its key in the practice's patient list (a CSV file). The folder is
// a store folder; files that are not stored images, links, and images whose
// key is no listed patient's or that of two, are reported and skipped; a list that cannot be read sends
// nothing.
struct BackfillResult {
  int sent = 0;
  std::vector<std::string> skipped;  // "name: reason"
};
BackfillResult Backfill(const Settings& settings, const std::filesystem::path& folder,
                        const std::filesystem::path& patient_list, const std::string& device,
                        const std::atomic<bool>& stop,
                        const std::function<void(std::size_t done, std::size_t total)>& progress);

}  // namespace tavirex::dicom
