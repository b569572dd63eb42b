// set, remove and server: change or remove what add wrote, and name the
// host's server-connection component. Like add, each keeps every other byte
// of the file and the old file as "PXEquip.ini.bak", and a refusal changes
// nothing.
#include <algorithm>
#include <cctype>
#include <map>

#include "hostenv/host_paths.h"
#include "plugin/catalogue.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "winrules/vb_string.h"

namespace tavirex::config {
namespace {

int Refuse(ToolContext& context, const std::string& command, const std::string& why) {
  context.err << "tavirex-config " << command << ": " << why << "\nNothing was changed.\n";
  return kExitRefused;
}

// The list entry by which the plug-in finds `name`: its lookup's number and
// the first usable entry with that number; nullptr, with the reason, when
// the function is not configured or its lookup fails.
const ListEntry* ConfiguredEntry(Edit& edit, const std::string& name, std::string& why) {
  int number = 0;
  try {
    number = GetEquipNumber(edit.session.object().platform(), EquipmentKey(name));
  } catch (const VbError& error) {
    why = "the plug-in's lookup of \"" + name + "\" fails (" + ErrorText(error) +
          "); correct its entry first (see tavirex-config check)";
    return nullptr;
  }
  for (const ListEntry& entry : edit.list.entries) {
    if (number != 0 && entry.ours && entry.issue.empty() && entry.device_name == name &&
        entry.number == number) {
      return &entry;
    }
  }
  why = "\"" + name + "\" is not configured; configure it with tavirex-config add";
  return nullptr;
}

// The equipment number the lookup finds for every device function; a
// failing lookup counts as -1.
std::map<std::string, int> LookUpAll(ClsTavirex& object) {
  std::map<std::string, int> numbers;
  for (const std::string& name : ClsTavirex::DeviceNames()) {
    try {
      numbers[name] = GetEquipNumber(object.platform(), EquipmentKey(name));
    } catch (const VbError&) {
      numbers[name] = -1;
    }
  }
  return numbers;
}

std::string Join(const std::vector<std::string>& fields, std::size_t from, char separator) {
  std::string text;
  for (std::size_t i = from; i < fields.size(); ++i) {
    if (i > from) text += separator;
    text += fields[i];
  }
  return text;
}

}  // namespace

int RunSet(const SetRequest& request, ToolContext& context) {
  const std::string& name = request.device_name;
  if (!IsCatalogueName(name)) return RefuseDeviceName("set", name, context);
  if (!request.data_folder && !request.program_path && !request.label) {
    return Refuse(context, "set", "nothing to set: give --data, --program or --label");
  }
  const bool capture = name.starts_with(kCaptureVerb);
  if (!capture && request.program_path) {
    return Refuse(context, "set",
                  "--program is for Capture functions; a Review function starts no program");
  }
  for (const auto& [option, path] : {std::pair{"--data folder", &request.data_folder},
                                     std::pair{"--program path", &request.program_path}}) {
    if (!*path) continue;
    if (std::string why = PathProblem(**path); !why.empty()) {
      return Refuse(context, "set", std::string("the ") + option + " \"" + **path + "\" " + why);
    }
  }
  if (request.label) {
    if (std::string why = LabelProblem(*request.label); !why.empty()) {
      return Refuse(context, "set", why);
    }
  }

  Edit edit(context);
  if (!edit.refusal.empty()) return Refuse(context, "set", edit.refusal);
  std::string why;
  const ListEntry* entry = ConfiguredEntry(edit, name, why);
  if (entry == nullptr) return Refuse(context, "set", why);
  const std::string section = std::to_string(*entry->number);
  std::vector<std::string> changed;
  if (request.label) {
    std::vector<std::string> fields = entry->fields;
    fields[1] = *request.label;
    const std::string value = Join(fields, 0, ':');
    edit.document.ReplaceValue(entry->line, value);
    changed.push_back(Column("[Equipment]") + std::to_string(entry->index) + "=" + value);
  }
  for (const auto& [key, value] : {std::pair{kEquipProgPathFNameKey, &request.program_path},
                                   std::pair{kEquipDataPathKey, &request.data_folder}}) {
    if (!*value) continue;
    SetKey(edit.document, section, key, **value);
    changed.push_back(Column("[" + section + "]") + key + "=" + **value);
  }
  if (edit.bytes && edit.document.Bytes() == *edit.bytes) {
    context.out << "Nothing to change: \"" << name << "\" already has these settings.\n";
    return kExitOk;
  }
  if (int written = WriteEdit(edit, "set"); written != kExitOk) return written;
  for (const std::string& line : changed) context.out << line << "\n";

  // Read back as the plug-in reads it.
  ClsTavirex& object = edit.session.object();
  bool read_back = true;
  for (const auto& [key, value] : {std::pair{kEquipProgPathFNameKey, &request.program_path},
                                   std::pair{kEquipDataPathKey, &request.data_folder}}) {
    try {
      read_back &= !*value || ReadDeviceSetting(object.platform(), name, key) == **value;
    } catch (const VbError&) {
      read_back = false;
    }
  }
  if (!read_back) {
    context.err << "tavirex-config set: the plug-in does not read the new settings back; the old "
                   "file is "
                << context.equip_ini_path << ".bak\n";
    return kExitWriteFailed;
  }
  if (request.data_folder) {
    context.out << MissingParentWarning(context.platform, *request.data_folder);
  }
  return kExitOk;
}

int RunRemove(const std::string& name, ToolContext& context) {
  if (!IsCatalogueName(name)) return RefuseDeviceName("remove", name, context);
  Edit edit(context);
  if (!edit.refusal.empty()) return Refuse(context, "remove", edit.refusal);
  std::string why;
  const ListEntry* entry = ConfiguredEntry(edit, name, why);
  if (entry == nullptr) return Refuse(context, "remove", why);
  IniDocument& document = edit.document;
  const IniDocument::Section list_section = *document.FindSection(kEquipmentSection);
  const std::vector<IniDocument::Key> keys = document.Keys(list_section);
  const std::string index_text = std::to_string(entry->index);
  if (std::count_if(keys.begin(), keys.end(),
                    [&](const IniDocument::Key& key) { return key.name == index_text; }) > 1) {
    return Refuse(context, "remove",
                  "[Equipment] has two lines for entry " + index_text + "; tidy it by hand");
  }
  const std::map<std::string, int> before = LookUpAll(edit.session.object());

  // The entries after it move up one key, so that "Number" still counts
  // them all; lines are changed from the last one up, as the removal shifts
  // the lines after it.
  std::optional<std::size_t> count_line = document.FindKey(list_section, kEquipmentCountKey);
  if (count_line) {
    document.ReplaceText(*count_line,
                         WithNumber(document.lines()[*count_line].text, edit.list.count - 1));
  }
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    std::optional<int> index = EntryIndex(key->name);
    if (!index || *index <= entry->index) continue;
    std::string text = document.lines()[key->line].text;
    const std::size_t at = text.find(key->name);
    text.replace(at, key->name.size(), std::to_string(*index - 1));
    document.ReplaceText(key->line, text);
  }
  // Its settings go too, unless another entry names the same section.
  const int number = *entry->number;
  const bool shared =
      std::any_of(edit.list.entries.begin(), edit.list.entries.end(), [&](const ListEntry& other) {
        return other.index != entry->index && other.number == number;
      });
  std::optional<IniDocument::Section> settings;
  if (!shared) settings = document.FindSection(std::to_string(number));
  if (settings && settings->header > entry->line) document.RemoveSection(*settings);
  document.Remove(entry->line, entry->line + 1);
  if (settings && settings->header < entry->line) document.RemoveSection(*settings);

  if (int written = WriteEdit(edit, "remove"); written != kExitOk) return written;
  context.out << Column("[Equipment]") << "entry " << entry->index << "=" << entry->value
              << " removed"
              << (entry->index < edit.list.count ? ", the entries after it moved up one" : "")
              << "\n";
  if (settings) context.out << Column("[" + std::to_string(number) + "]") << "removed\n";

  // Read back: the function is gone, every other one is where it was.
  std::map<std::string, int> after = LookUpAll(edit.session.object());
  std::map<std::string, int> expected = before;
  expected[name] = 0;
  if (after != expected) {
    context.err << "tavirex-config remove: the plug-in does not read the list back as expected; "
                   "the old file is "
                << context.equip_ini_path << ".bak\n";
    return kExitWriteFailed;
  }
  return kExitOk;
}

int RunServer(const ServerRequest& request, ToolContext& context) {
  if (request.class_name && !IsClassName(*request.class_name)) {
    return Refuse(context, "server",
                  "\"" + *request.class_name +
                      "\" is neither a ProgID (letters, digits and dots, such as "
                      "Praxo.ServerConnection) nor a {CLSID}");
  }
  if (!request.method.empty() && !IsMethodName(request.method)) {
    return Refuse(context, "server", "\"" + request.method + "\" is no method name");
  }
  Edit edit(context);
  if (edit.bytes && !EncodingProblem(*edit.bytes).empty()) {
    return Refuse(context, "server", edit.refusal);
  }
  if (request.class_name) {
    SetKey(edit.document, kServerConnectionSection, kServerConnectionClassKey, *request.class_name);
  } else {
    RemoveKey(edit.document, kServerConnectionSection, kServerConnectionClassKey);
  }
  if (!request.method.empty()) {
    SetKey(edit.document, kServerConnectionSection, kServerConnectionMethodKey, request.method);
  } else {
    RemoveKey(edit.document, kServerConnectionSection, kServerConnectionMethodKey);
  }
  // A section left without keys goes too.
  if (std::optional<IniDocument::Section> section =
          edit.document.FindSection(kServerConnectionSection);
      section && edit.document.Keys(*section).empty()) {
    edit.document.RemoveSection(*section);
  }
  if (edit.document.Bytes() == edit.bytes.value_or("")) {
    context.out << "Nothing to change.\n";
    return kExitOk;
  }
  if (int written = WriteEdit(edit, "server"); written != kExitOk) return written;
  const std::string column = Column(IniDocument::SectionHeader(kServerConnectionSection));
  if (request.class_name) {
    context.out << column << kServerConnectionClassKey << "=" << *request.class_name << "\n"
                << Column("") << kServerConnectionMethodKey << "="
                << (request.method.empty() ? "(removed: the plug-in's default)" : request.method)
                << "\n";
  } else {
    context.out << column << kServerConnectionClassKey << " and " << kServerConnectionMethodKey
                << " removed: the plug-in's own class and method\n";
  }
  return kExitOk;
}

}  // namespace tavirex::config
