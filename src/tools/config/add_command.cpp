// add: configures one device function in the equipment INI. Everything else
// in the file keeps its bytes; the old file is kept as "PXEquip.ini.bak".
#include <algorithm>
#include <cctype>
#include <set>

#include "capture/capture_device.h"
#include "hostenv/host_paths.h"
#include "hostenv/system.h"
#include "interface/equip_settings.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
namespace {

constexpr int kLargestNumber = 32767;

// Why the plug-in would not read `path` back as given; "" when it would.
std::string PathProblem(const std::string& path) {
  if (path.empty()) return "is empty";
  if (path.size() > 254) return "is longer than the 254 characters the plug-in reads";
  if (IniDocument::Trim(path) != path) return "begins or ends with white space, which is dropped";
  if (path.size() >= 2 && (path.front() == '"' || path.front() == '\'') &&
      path.back() == path.front()) {
    return "is in quotes, which are dropped";
  }
  const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                     path[1] == ':' && path[2] == '\\';
  if (!drive && !path.starts_with("\\\\")) {
    return "is no full Windows path (C:\\folder or \\\\server\\share\\folder)";
  }
  if (path.size() > 3 && path.back() == '\\') return "ends with a backslash";
  return "";
}

// The "Number" line with its value replaced; a trailing text after the
// number (a note someone wrote there) stays.
std::string WithNumber(const std::string& line, int number) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return line + "=" + std::to_string(number);
  std::size_t start = line.find_first_not_of(" \t", equals + 1);
  if (start == std::string::npos) return line.substr(0, equals + 1) + std::to_string(number);
  std::size_t end = line.find_first_not_of("0123456789.", start);
  if (end == start) end = line.size();
  if (end == std::string::npos) end = line.size();
  return line.substr(0, start) + std::to_string(number) + line.substr(end);
}

// The smallest number that no list entry and no section uses yet.
int FreeEquipmentNumber(const IniDocument& document, const EquipmentList& list) {
  std::set<int> used;
  for (const ListEntry& entry : list.entries) {
    if (entry.number) used.insert(*entry.number);
  }
  for (const IniDocument::Section& section : document.Sections()) {
    const std::string& name = section.name;
    if (!name.empty() && name.size() <= 5 &&
        name.find_first_not_of("0123456789") == std::string::npos) {
      used.insert(std::stoi(name));
    }
  }
  for (int number = 1; number <= kLargestNumber; ++number) {
    if (used.count(number) == 0) return number;
  }
  return 0;
}

std::string Column(const std::string& title) {
  return title + std::string(title.size() < 16 ? 16 - title.size() : 1, ' ');
}

// Built by appending: GCC 12 warns wrongly (-Wrestrict) about "[" + name + "]".
std::string SectionHeader(std::string_view name) {
  std::string header = "[";
  header += name;
  header += ']';
  return header;
}

// Appends lines at the end, after an empty line when the file has text.
void AppendBlock(IniDocument& document, const std::vector<std::string>& texts) {
  std::vector<std::string> block;
  if (!document.lines().empty() && !IniDocument::Trim(document.lines().back().text).empty()) {
    block.emplace_back();
  }
  block.insert(block.end(), texts.begin(), texts.end());
  document.Insert(document.lines().size(), block);
}

}  // namespace

int RunAdd(const AddRequest& request, ToolContext& context) {
  std::ostream& err = context.err;
  auto refuse = [&](const std::string& why) {
    err << "tavirex-config add: " << why << "\nNothing was changed.\n";
    return kExitRefused;
  };
  const std::string& name = request.device_name;
  if (!IsCatalogueName(name)) {
    err << "tavirex-config add: \"" << name << "\" is not one of the plug-in's device names.\n"
        << "The device names are (exactly, case included):\n";
    for (const std::string& known : ClsTavirex::DeviceNames()) err << "  " << known << "\n";
    return kExitRefused;
  }
  const bool capture = name.starts_with(kCaptureVerb);
  if (!capture && !request.program_path.empty()) {
    return refuse("--program is for Capture functions; a Review function starts no program");
  }
  const std::string program =
      request.program_path.empty() ? kDefaultVendorProgram : request.program_path;
  const std::string label = request.label.empty() ? name : request.label;
  if (std::string why = PathProblem(request.data_folder); !why.empty()) {
    return refuse("the --data folder \"" + request.data_folder + "\" " + why);
  }
  if (std::string why = PathProblem(program); capture && !why.empty()) {
    return refuse("the --program path \"" + program + "\" " + why);
  }
  if (label.find_first_of(":\r\n") != std::string::npos) {
    return refuse("the label must not contain ':' or a line break");
  }

  const std::string& path = context.equip_ini_path;
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (bytes && !EncodingProblem(*bytes).empty()) {
    return refuse(path + " " + EncodingProblem(*bytes) + "; save it as ANSI text first");
  }
  IniDocument document(bytes.value_or(""));
  PluginSession session(context.platform);
  const EquipmentList list = ReadEquipmentList(document, session.platform());
  if (list.count_error) {
    return refuse("[Equipment] \"Number\" is " + list.number_text +
                  ", beyond 32767; correct it first (see tavirex-config check)");
  }
  try {
    if (int number = session.object().GetEquipNumber(EquipmentKey(name)); number != 0) {
      return refuse("\"" + name + "\" is already configured, in section [" +
                    std::to_string(number) + "]");
    }
  } catch (const VbError& error) {
    return refuse("the plug-in's lookup of \"" + name + "\" fails (" + ErrorText(error) +
                  "); correct its entry first (see tavirex-config check)");
  }
  for (const ListEntry& entry : list.entries) {
    if (entry.ours && entry.device_name == name) {
      return refuse(
          "[Equipment] entry " + std::to_string(entry.index) + " already names \"" + name +
          "\", but " +
          (entry.issue.empty() ? "with the number 0, which means not listed" : entry.issue) +
          "; correct it by hand");
    }
  }
  const int key = std::max(list.count, 0) + 1;
  for (const ListEntry& entry : list.entries) {
    if (entry.index == key) {
      return refuse("[Equipment] already has an entry " + std::to_string(key) +
                    " after the last one \"Number\" counts; tidy the list by hand");
    }
  }
  const int number = FreeEquipmentNumber(document, list);
  if (key > kLargestNumber || number == 0) return refuse("the list is full");

  // The list entry and the count in [Equipment], then the new section.
  const std::string entry_text =
      std::to_string(key) + "=" + std::to_string(number) + ":" + label + ":" + EquipmentKey(name);
  const std::string count_text = std::string(kEquipmentCountKey) + "=" + std::to_string(key);
  if (std::optional<IniDocument::Section> section = document.FindSection(kEquipmentSection)) {
    std::optional<std::size_t> count_line;
    for (const IniDocument::Key& k : document.Keys(*section)) {
      if (EqualsIgnoreCaseAscii(k.name, kEquipmentCountKey)) {
        count_line = k.line;
        break;
      }
    }
    document.Insert(document.EndOfKeys(*section), {entry_text});
    if (count_line) {
      document.ReplaceText(*count_line, WithNumber(document.lines()[*count_line].text, key));
    } else {
      document.Insert(section->header + 1, {count_text});
    }
  } else {
    AppendBlock(document, {SectionHeader(kEquipmentSection), count_text, entry_text});
  }
  std::vector<std::string> settings = {SectionHeader(std::to_string(number))};
  if (capture) settings.push_back(std::string(kEquipProgPathFNameKey) + "=" + program);
  settings.push_back(std::string(kEquipDataPathKey) + "=" + request.data_folder);
  AppendBlock(document, settings);

  const std::string_view write_hint = SystemPlatformNotes().windows_dir_write_hint;
  std::string error;
  if (bytes) {
    if (!ReplaceFileContents(context.platform, path + ".bak", *bytes, error)) {
      err << "tavirex-config add: no backup: " << error << write_hint << "\nNothing was changed.\n";
      return kExitWriteFailed;
    }
    context.out << Column("Backup") << path << ".bak\n";
  }
  if (!ReplaceFileContents(context.platform, path, document.Bytes(), error)) {
    err << "tavirex-config add: " << error << write_hint << "\nNothing was changed.\n";
    return kExitWriteFailed;
  }
  context.out << Column("Written") << path << "\n"
              << Column("[Equipment]") << entry_text << "  (" << count_text << ")\n";
  for (std::size_t i = 1; i < settings.size(); ++i) {
    context.out << Column(i == 1 ? settings[0] : "") << settings[i] << "\n";
  }

  // Read back as the plug-in reads it.
  std::optional<std::string> folder;
  try {
    folder = session.object().ReadDeviceSetting(name, kEquipDataPathKey);
  } catch (const VbError&) {
  }
  if (folder != request.data_folder) {
    err << "tavirex-config add: the plug-in does not read the new entry back; the old file is "
        << path << ".bak\n";
    return kExitWriteFailed;
  }
  const std::string twin = capture ? TwinDeviceName(name, kCaptureVerb, kReviewVerb)
                                   : TwinDeviceName(name, kReviewVerb, kCaptureVerb);
  bool twin_listed = true;
  try {
    twin_listed = session.object().GetEquipNumber(EquipmentKey(twin)) != 0;
  } catch (const VbError&) {
  }
  if (capture && !twin_listed) {
    context.out << "Capture stores into the folder of \"" << twin
                << "\"; configure it too:\n  tavirex-config add \"" << twin
                << "\" --data <store folder>\n";
  }
  return kExitOk;
}

}  // namespace tavirex::config
