// The forwarder's job reader: any text is a job or a refusal with a reason
// (a std::runtime_error, never the JSON library's own errors), and a job it
// reads, written again as the plug-in writes it, reads back the same.
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "forwarder/job.h"
#include "fuzz_check.h"

using namespace tavirex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  dicom::Job job;
  try {
    job = dicom::ParseJob(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::runtime_error&) {
    return 0;
  }
  FUZZ_CHECK(!job.files.empty(), "a job without files");
  const dicom::Job again = dicom::ParseJob(OutboxJobText(job));
  FUZZ_CHECK(again.captured == job.captured && again.files == job.files, "captured or files");
#define TAVIREX_JOB_TEXT(Name) FUZZ_CHECK(again.Name == job.Name, #Name);
#define TAVIREX_JOB_NUMBER(Name) FUZZ_CHECK(again.Name == job.Name, #Name);
#include "vocabulary/job_fields.def"
  return 0;
}
