#include "forwarder/settings.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include "forwarder/system.h"
#include "winrules/ini_profile.h"
#include "winrules/vb_string.h"

namespace tavirex::dicom {
namespace {

bool Yes(const std::string& value) {
  return EqualsIgnoreCaseAscii(value, "yes") || EqualsIgnoreCaseAscii(value, "true") ||
         value == "1";
}

bool No(const std::string& value) {
  return EqualsIgnoreCaseAscii(value, "no") || EqualsIgnoreCaseAscii(value, "false") ||
         value == "0";
}

// With TLS on: an authority to check the archive against, and every file
// named readable now rather than an OpenSSL error at each connection.
void CheckTlsFiles(const std::filesystem::path& file, const Settings& settings,
                   const std::map<std::string, int>& lines) {
  const auto where = [&](const std::string& name) {
    const auto line = lines.find(name);
    return file.string() + (line == lines.end() ? "" : ":" + std::to_string(line->second));
  };
  if (settings.tls_ca.empty()) {
    throw BadSettings(where("TLS.ENABLED") +
                      ": TLS is enabled without ca; set ca to the PEM file of the authority "
                      "that signed the archive's certificate");
  }
  if (settings.tls_certificate.empty() != settings.tls_key.empty()) {
    throw BadSettings(where(settings.tls_key.empty() ? "TLS.CERTIFICATE" : "TLS.KEY") +
                      ": certificate and key go together; set both or neither");
  }
  for (const auto& [name, path] : {std::pair{"TLS.CA", settings.tls_ca},
                                   {"TLS.CERTIFICATE", settings.tls_certificate},
                                   {"TLS.KEY", settings.tls_key}}) {
    if (path.empty()) continue;
    std::ifstream readable{std::filesystem::path(path)};
    if (!readable) {
      throw BadSettings(where(name) + ": " + path + " cannot be read (" + std::strerror(errno) +
                        "); give a PEM file the forwarder's user can read");
    }
  }
}

// A Windows prefix without its trailing "\", forward slashes as "\".
std::string WindowsPrefix(std::string prefix) {
  for (char& c : prefix) c = c == '/' ? '\\' : c;
  while (!prefix.empty() && prefix.back() == '\\') prefix.pop_back();
  return prefix;
}

// The settings by "SECTION.KEY"; numbers with their range.
const std::map<std::string, std::string Settings::*> kTexts = {
    {"ARCHIVE.HOST", &Settings::archive_host},       {"ARCHIVE.CALLED_AE", &Settings::called_ae},
    {"ARCHIVE.CALLING_AE", &Settings::calling_ae},   {"TLS.CA", &Settings::tls_ca},
    {"TLS.CERTIFICATE", &Settings::tls_certificate}, {"TLS.KEY", &Settings::tls_key}};
struct Number {
  int Settings::*member;
  int low, high;
};
const std::map<std::string, Number> kNumbers = {
    {"ARCHIVE.PORT", {&Settings::archive_port, 1, 65535}},
    {"QUEUE.POLL_SECONDS", {&Settings::poll_seconds, 1, 86400}},
    {"QUEUE.RETRY_MAX_SECONDS", {&Settings::retry_max_seconds, 1, 86400}},
    // Above 700, three bytes a pixel no longer fit DCMTK's 32-bit lengths.
    {"IMAGES.MAX_MEGAPIXELS", {&Settings::max_megapixels, 1, 700}}};

// Why a value cannot be an AE title (at most 16 characters of the default
// repertoire, no "\\", not only spaces); "" when it can.
std::string AeTitleProblem(const std::string& value) {
  if (value.size() > 16) {
    return "has " + std::to_string(value.size()) + " characters; an AE title has at most 16";
  }
  if (value.find_first_not_of(' ') == std::string::npos) return "is empty";
  for (const char c : value) {
    if (c < 0x20 || c > 0x7E || c == '\\') {
      return "holds a character other than letters, digits, spaces and printable ASCII but "
             "\"\\\"";
    }
  }
  return "";
}

}  // namespace

Settings LoadSettings(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) {
    throw BadSettings(file.string() +
                      ": cannot be read; name the settings file with --config or "
                      "TAVIREX_DICOM_CONFIG, readable by the forwarder's user");
  }
  Settings settings;
  std::string section;
  std::map<std::string, int> lines;  // "[SECTION]" and "SECTION.KEY" -> the line that set it
  int number = 0;
  const auto fail = [&](const std::string& why) {
    throw BadSettings(file.string() + ":" + std::to_string(number) + ": " + why);
  };
  const auto once = [&](const std::string& name, const std::string& what) {
    const auto [first, added] = lines.try_emplace(name, number);
    if (!added) {
      fail(what + " again (first on line " + std::to_string(first->second) + "): keep one");
    }
  };
  // The lines of an INI file, with "#" comments too.
  std::string raw;
  for (number = 1; std::getline(in, raw); ++number) {
    // Notepad saves UTF-8 with a byte-order mark.
    if (number == 1 && raw.starts_with("\xEF\xBB\xBF")) raw.erase(0, 3);
    const ProfileLine line = ReadProfileLine(raw);
    if (line.kind == ProfileLine::Kind::kNone || ProfileTrim(raw).front() == '#') continue;
    if (line.kind == ProfileLine::Kind::kSection) {
      if (ProfileTrim(raw).back() != ']') fail("a section name ends with \"]\"");
      section = UpperAscii(line.name);
      once("[" + section + "]", "[" + std::string(line.name) + "] is a section");
      continue;
    }
    if (!line.value) fail("expected key = value");
    const std::string key(line.name);
    const std::string value(*line.value);
    const std::string name =
        section + "." + UpperAscii(section == "PATHS" ? WindowsPrefix(key) : key);
    once(name, key + " is set");
    // Comments stand on lines of their own: "port = 104 ; default" is no port.
    for (std::size_t at = value.find_first_of(";#"); at != std::string::npos;
         at = value.find_first_of(";#", at + 1)) {
      if (at == 0 || value[at - 1] == ' ' || value[at - 1] == '\t') {
        fail("the value of " + key + " carries a comment (\"" + value.substr(at) +
             "\"); put comments on lines of their own");
      }
    }
    const auto text = kTexts.find(name);
    const auto count = kNumbers.find(name);
    if (section == "PATHS") {
      settings.paths.emplace_back(WindowsPrefix(key), value);
    } else if (name == ".OUTBOX" || name == ".STATE") {
      (name == ".OUTBOX" ? settings.outbox : settings.state) = value;
    } else if (text != kTexts.end()) {
      settings.*(text->second) = value;
      if (name.ends_with("_AE")) {
        if (const std::string why = AeTitleProblem(value); !why.empty()) {
          fail(key + " \"" + value + "\" " + why + "; use the AE title the archive knows");
        }
      }
      if (name == "ARCHIVE.HOST" && value.empty()) fail("host is empty; give the archive's name");
    } else if (count != kNumbers.end()) {
      const Number& rule = count->second;
      int parsed = 0;
      const char* end = value.data() + value.size();
      const auto [stop, error] = std::from_chars(value.data(), end, parsed);
      if (error != std::errc() || stop != end || parsed < rule.low || parsed > rule.high) {
        fail(key + " is a whole number from " + std::to_string(rule.low) + " to " +
             std::to_string(rule.high) + ", not \"" + value + "\"");
      }
      settings.*(rule.member) = parsed;
    } else if (name == "ARCHIVE.SOP_CLASS") {
      if (!EqualsIgnoreCaseAscii(value, "OP") && !EqualsIgnoreCaseAscii(value, "SC")) {
        fail("sop_class is OP or SC");
      }
      settings.sop_class = EqualsIgnoreCaseAscii(value, "OP") ? SopClass::kOphthalmicPhotography
                                                              : SopClass::kSecondaryCapture;
    } else if (name == "TLS.ENABLED") {
      if (!Yes(value) && !No(value)) fail("enabled is yes or no");
      settings.tls = Yes(value);
    } else {
      fail("unknown setting " + (section.empty() ? key : "[" + section + "] " + key));
    }
  }
  if (settings.outbox.empty()) {
    throw BadSettings(file.string() + ": outbox is not set; add \"outbox = \" and the folder");
  }
  if (settings.state.empty()) settings.state = DefaultStateFolder();
  if (settings.tls) CheckTlsFiles(file, settings, lines);
  return settings;
}

}  // namespace tavirex::dicom
