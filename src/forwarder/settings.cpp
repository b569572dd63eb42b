#include "forwarder/settings.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <stdexcept>

#include "winrules/ini_profile.h"
#include "winrules/vb_string.h"

namespace tavirex::dicom {
namespace {

bool Yes(const std::string& value) {
  return EqualsIgnoreCaseAscii(value, "yes") || EqualsIgnoreCaseAscii(value, "true") ||
         value == "1";
}

// A Windows prefix without its trailing "\", forward slashes as "\".
std::string WindowsPrefix(std::string prefix) {
  for (char& c : prefix) c = c == '/' ? '\\' : c;
  while (!prefix.empty() && prefix.back() == '\\') prefix.pop_back();
  return prefix;
}

// systemd's StateDirectory=, else the user's own state folder.
std::filesystem::path DefaultStateFolder() {
  if (const char* folder = std::getenv("STATE_DIRECTORY"); folder && *folder) return folder;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : ".") / ".local/state/tavirex-dicom";
}

// The settings by "SECTION.KEY".
const std::map<std::string, std::string Settings::*> kTexts = {
    {"ARCHIVE.HOST", &Settings::archive_host},       {"ARCHIVE.CALLED_AE", &Settings::called_ae},
    {"ARCHIVE.CALLING_AE", &Settings::calling_ae},   {"TLS.CA", &Settings::tls_ca},
    {"TLS.CERTIFICATE", &Settings::tls_certificate}, {"TLS.KEY", &Settings::tls_key}};
const std::map<std::string, int Settings::*> kNumbers = {
    {"ARCHIVE.PORT", &Settings::archive_port},
    {"QUEUE.POLL_SECONDS", &Settings::poll_seconds},
    {"QUEUE.RETRY_MAX_SECONDS", &Settings::retry_max_seconds},
    {"IMAGES.MAX_MEGAPIXELS", &Settings::max_megapixels}};

}  // namespace

Settings LoadSettings(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error(file.string() + ": cannot be read");
  Settings settings;
  std::string section;
  // The lines of an INI file, with "#" comments too.
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    const ProfileLine line = ReadProfileLine(raw);
    if (line.kind == ProfileLine::Kind::kNone || ProfileTrim(raw).front() == '#') continue;
    const auto fail = [&](const std::string& why) {
      throw std::runtime_error(file.string() + ":" + std::to_string(number) + ": " + why);
    };
    if (line.kind == ProfileLine::Kind::kSection) {
      if (ProfileTrim(raw).back() != ']') fail("a section name ends with \"]\"");
      section = UpperAscii(line.name);
      continue;
    }
    if (!line.value) fail("expected key = value");
    const std::string key(line.name);
    const std::string value(*line.value);
    const auto number_value = [&] {
      try {
        return std::stoi(value);
      } catch (const std::exception&) {
        fail(key + " is a number");
      }
      return 0;
    };
    const std::string name = section + "." + UpperAscii(key);
    const auto text = kTexts.find(name);
    const auto count = kNumbers.find(name);
    if (section == "PATHS") {
      settings.paths.emplace_back(WindowsPrefix(key), value);
    } else if (name == ".OUTBOX" || name == ".STATE") {
      (name == ".OUTBOX" ? settings.outbox : settings.state) = value;
    } else if (text != kTexts.end()) {
      settings.*(text->second) = value;
    } else if (count != kNumbers.end()) {
      settings.*(count->second) = number_value();
    } else if (name == "ARCHIVE.SOP_CLASS") {
      if (!EqualsIgnoreCaseAscii(value, "OP") && !EqualsIgnoreCaseAscii(value, "SC")) {
        fail("sop_class is OP or SC");
      }
      settings.sop_class = EqualsIgnoreCaseAscii(value, "OP") ? SopClass::kOphthalmicPhotography
                                                              : SopClass::kSecondaryCapture;
    } else if (name == "TLS.ENABLED") {
      settings.tls = Yes(value);
    } else {
      fail("unknown setting " + (section.empty() ? key : "[" + section + "] " + key));
    }
  }
  if (settings.outbox.empty()) throw std::runtime_error(file.string() + ": outbox is not set");
  if (settings.state.empty()) settings.state = DefaultStateFolder();
  // Above 700, three bytes a pixel no longer fit DCMTK's 32-bit lengths.
  if (settings.max_megapixels < 1 || settings.max_megapixels > 700) {
    throw std::runtime_error(file.string() + ": [images] max_megapixels is from 1 to 700");
  }
  return settings;
}

}  // namespace tavirex::dicom
