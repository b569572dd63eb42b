// Reading the plug-in's outbox jobs (vocabulary/outbox_job.h).
#pragma once

#include <filesystem>
#include <string_view>

#include "vocabulary/outbox_job.h"

namespace tavirex::dicom {

using Job = OutboxJob;

// Reads a job file (a regular file, not through a link) or a job's text;
// throws std::runtime_error with the reason it is refused.
Job ReadJob(const std::filesystem::path& file);
Job ParseJob(std::string_view text);

}  // namespace tavirex::dicom
