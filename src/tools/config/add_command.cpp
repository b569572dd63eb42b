// add: configures one device function in the equipment INI. Everything else
// in the file keeps its bytes; the old file is kept as "PXEquip.ini.bak".
#include <algorithm>
#include <set>

#include "hostenv/host_paths.h"
#include "plugin/capture.h"
#include "plugin/catalogue.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
namespace {

constexpr int kLargestNumber = 32767;

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

}  // namespace

int RunAdd(const AddRequest& request, ToolContext& context) {
  std::ostream& err = context.err;
  auto refuse = [&](const std::string& why) {
    err << "tavirex-config add: " << why << "\nNothing was changed.\n";
    return kExitRefused;
  };
  const std::string& name = request.device_name;
  if (!IsCatalogueName(name)) return RefuseDeviceName("add", name, context);
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
  if (std::string why = LabelProblem(label); !why.empty()) return refuse(why);

  Edit edit(context);
  if (!edit.refusal.empty()) return refuse(edit.refusal);
  IniDocument& document = edit.document;
  const EquipmentList& list = edit.list;
  try {
    if (int number = GetEquipNumber(edit.session.object().platform(), EquipmentKey(name));
        number != 0) {
      return refuse("\"" + name + "\" is already configured, in section [" +
                    std::to_string(number) + "]; change it with tavirex-config set");
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
    std::optional<std::size_t> count_line = document.FindKey(*section, kEquipmentCountKey);
    document.Insert(document.EndOfKeys(*section), {entry_text});
    if (count_line) {
      document.ReplaceText(*count_line, WithNumber(document.lines()[*count_line].text, key));
    } else {
      document.Insert(section->header + 1, {count_text});
    }
  } else {
    document.AppendBlock({IniDocument::SectionHeader(kEquipmentSection), count_text, entry_text});
  }
  std::vector<std::string> settings = {IniDocument::SectionHeader(std::to_string(number))};
  if (capture) settings.push_back(std::string(kEquipProgPathFNameKey) + "=" + program);
  settings.push_back(std::string(kEquipDataPathKey) + "=" + request.data_folder);
  document.AppendBlock(settings);

  if (int written = WriteEdit(edit, "add"); written != kExitOk) return written;
  context.out << Column("[Equipment]") << entry_text << "  (" << count_text << ")\n";
  for (std::size_t i = 1; i < settings.size(); ++i) {
    context.out << Column(i == 1 ? settings[0] : "") << settings[i] << "\n";
  }

  // Read back as the plug-in reads it.
  ClsTavirex& object = edit.session.object();
  std::optional<std::string> folder;
  try {
    folder = ReadDeviceSetting(object.platform(), name, kEquipDataPathKey);
  } catch (const VbError&) {
  }
  if (folder != request.data_folder) {
    err << "tavirex-config add: the plug-in does not read the new entry back; the old file is "
        << context.equip_ini_path << ".bak\n";
    return kExitWriteFailed;
  }
  context.out << MissingParentWarning(context.platform, request.data_folder);
  const std::string twin = capture ? TwinDeviceName(name, kCaptureVerb, kReviewVerb)
                                   : TwinDeviceName(name, kReviewVerb, kCaptureVerb);
  bool twin_listed = true;
  try {
    twin_listed = GetEquipNumber(object.platform(), EquipmentKey(twin)) != 0;
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
