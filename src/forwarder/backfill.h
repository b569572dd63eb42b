// Backfill: the stored images of a folder sent from what their names carry,
// for images stored before the outbox was set up.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "forwarder/settings.h"

namespace tavirex::dicom {

// Files that are not stored images are reported and skipped.
struct BackfillResult {
  int sent = 0;
  std::vector<std::string> skipped;  // "name: reason"
};
BackfillResult Backfill(const Settings& settings, const std::filesystem::path& folder,
                        const std::string& device, const std::atomic<bool>& stop,
                        const std::function<void(std::size_t done, std::size_t total)>& progress);

}  // namespace tavirex::dicom
