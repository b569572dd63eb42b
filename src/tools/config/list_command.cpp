// list: the entries of section "Equipment" with the settings they point to.
#include "hostenv/host_paths.h"
#include "plugin/catalogue.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "tools/config/text_table.h"

namespace tavirex::config {

int RunList(ToolContext& context) {
  std::ostream& out = context.out;
  const FileState file = ReadFileState(context.equip_ini_path);
  Platform& platform = context.platform;
  const EquipmentList list = ReadEquipmentList(IniDocument(file.bytes), platform);
  out << "Equipment INI   " << context.equip_ini_path << "\n"
      << "Entries read    " << list.count
      << "  (\"Number\" = " << (list.number_text.empty() ? "(none)" : list.number_text) << ")\n\n";
  const std::string problem = FileProblem(file, context.equip_ini_path);
  if (list.entries.empty()) out << "[Equipment] has no numbered entries.\n";

  TextTable table(
      {"Key", "No.", "Label", "Device function", "EquipDataPath", "EquipProgPathFName", "Note"});
  for (const ListEntry& entry : list.entries) {
    const std::string label = entry.fields.size() > 1 ? entry.fields[1] : "";
    std::string device = entry.device_name;
    std::string number = entry.number ? std::to_string(*entry.number) : entry.fields[0];
    std::string data_path;
    std::string program_path;
    std::string note = entry.issue;
    if (!entry.ours) {
      // Another program's equipment: its key as written.
      device.clear();
      for (std::size_t i = 2; i < entry.fields.size(); ++i) {
        device += (i > 2 ? ":" : "") + entry.fields[i];
      }
      note = "not this plug-in's entry";
    } else if (entry.number_error) {
      note = "number \"" + entry.fields[0] + "\": the lookup fails (" +
             ErrorText(*entry.number_error) + ")";
    } else if (entry.number) {
      const std::string section = std::to_string(*entry.number);
      data_path = platform.ReadProfileString(section, kEquipDataPathKey, kEquipIniFileName);
      program_path = platform.ReadProfileString(section, kEquipProgPathFNameKey, kEquipIniFileName);
    }
    table.AddRow(
        {std::to_string(entry.index), number, label, device, data_path, program_path, note});
  }
  if (!list.entries.empty()) table.Print(out);
  const std::vector<std::string> backups = Backups(context.equip_ini_path);
  out << "\nBackups (tavirex-config restore NAME; the newest last):"
      << (backups.empty() ? " none" : "") << "\n";
  for (const std::string& backup : backups) {
    out << "  " << backup.substr(backup.find_last_of("\\/") + 1) << "\n";
  }
  if (problem.empty()) return kExitOk;
  out << "\nProblem: " << problem << "\n";
  return kExitProblems;
}

}  // namespace tavirex::config
