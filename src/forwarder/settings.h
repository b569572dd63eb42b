// The forwarder's settings: one small text file that the administrator
// edits (see README, "Sending images to a DICOM archive").
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tavirex::dicom {

enum class SopClass { kOphthalmicPhotography, kSecondaryCapture };

struct Settings {
  std::filesystem::path outbox;
  std::filesystem::path state;  // the forwarder's own files (progress, status)
  std::string archive_host = "127.0.0.1";
  int archive_port = 104;
  std::string called_ae = "ARCHIVE";
  std::string calling_ae = "TAVIREX";
  SopClass sop_class = SopClass::kOphthalmicPhotography;
  bool tls = false;
  std::string tls_ca;           // PEM file of the archive's certificate authority
  std::string tls_certificate;  // the forwarder's own certificate and key, when the archive asks
  std::string tls_key;
  int poll_seconds = 5;
  int retry_max_seconds = 300;
  // The most pixels an image may have, in millions: what it costs in memory.
  int max_megapixels = 100;
  // Windows prefix (drive "C:" or share "\\server\images") -> local folder.
  std::vector<std::pair<std::string, std::filesystem::path>> paths;
};

// A settings file that cannot be read or holds a setting that cannot work:
// the message names the file, the line and what to change.
class BadSettings : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a settings file; throws BadSettings.
Settings LoadSettings(const std::filesystem::path& file);

}  // namespace tavirex::dicom
