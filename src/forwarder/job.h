// Reading the plug-in's outbox jobs (vocabulary/outbox_job.h).
#pragma once

#include <filesystem>

#include "vocabulary/outbox_job.h"

namespace tavirex::dicom {

using Job = OutboxJob;

// Reads a job file; throws std::runtime_error with the reason it is refused.
Job ReadJob(const std::filesystem::path& file);

}  // namespace tavirex::dicom
