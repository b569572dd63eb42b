#include "tools/config/config_tool.h"

#include <exception>

#include "hostenv/system.h"
#include "plugin/catalogue.h"
#include "tools/config/equipment_list.h"
#include "cli/cli.h"
#include "winrules/vb_error.h"

namespace tavirex::config {

int RunConfigTool(const std::vector<std::string>& args, ToolContext& context) {
  CLI::App app(
      "Checks and edits PXEquip.ini, the equipment INI in the Windows directory from which the\n"
      "Tavirex plug-in takes each device function's folders and vendor program.",
      "tavirex-config");
  app.set_version_flag("--version", std::string("tavirex-config ") + TAVIREX_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  app.add_flag("--dry-run", context.dry_run, "Show what an edit would change; write nothing");
  app.footer(
      "DEVICE: Capture or Review, a blank, and one of iKoraiBlendo, Vessara, Corvana, iScopa,\n"
      "iBlendo, iPicta, iVitara, iPedra (exactly). --data is Capture's drop folder, Review's\n"
      "store folder (where Capture imports and Review and Count look).\n\n"
      "Every edit reads the whole file first and refuses, before writing anything, a file it\n"
      "cannot read, a read-only one and a value the file's code page cannot hold. It keeps the\n"
      "rest of the file byte for byte and its permissions, the old file as a time-stamped\n"
      "backup (the last ten are kept), and replaces the file in one rename.\n\n"
      "Exit codes: 0 done, 1 check or list found problems, 2 refused (nothing changed),\n"
      "3 the file could not be written (nothing changed).\n\n"
      "PXEquip.ini here: " +
      context.equip_ini_path + "\n" + std::string(SystemPlatformNotes().settings));
  auto command = [&](const char* name, const char* summary, const char* details) {
    return app.add_subcommand(name, summary)->footer(details);
  };

  CLI::App* check = command(
      "check", "What every device function would use, and what would go wrong",
      "Each function's number, program and folders, where each comes from and whether it can be\n"
      "written; files waiting in drop folders; the DICOM outbox; the log files; then every\n"
      "problem that would show at run time, with what to do. Exit code 1 when there are any.");
  bool json = false;
  check->add_flag("--json", json, "One JSON object instead of the tables (see the README)");
  CLI::App* list = command("list", "The entries of [Equipment], their settings and the backups",
                           "Exit code 1 when the file cannot be read or is not ANSI text.");

  std::vector<std::string> words;
  DeviceRequest request;
  auto device_command = [&](const char* name, const char* summary, const char* details) {
    CLI::App* sub = command(name, summary, details);
    sub->add_option("DEVICE", words, "The device function, e.g. \"Capture Vessara\"")->required();
    sub->add_option("--data", request.data_folder, "The folder (drop or store folder)");
    sub->add_option("--program", request.program_path,
                    std::string("Capture's vendor program (add: ") + kDefaultVendorProgram + ")");
    sub->add_option("--label", request.label, "The entry's label (add: the device name)");
    return sub;
  };
  CLI::App* add = device_command(
      "add", "Configure a device function",
      "A new [Equipment] entry and numbered section; refused for a configured function.");
  add->get_option("--data")->required();
  CLI::App* set =
      device_command("set", "Change the settings of a configured device function",
                     "Replaces the values given, adds a missing key; the others stay as they are.");
  CLI::App* remove = command(
      "remove", "Take an entry out of [Equipment]",
      "ENTRY: a device name, or an entry as check and list show it (3, 22:r:Tavirex:Review x).\n"
      "The entries after it move up one, \"Number\" goes down by one; its section goes too,\n"
      "unless another entry uses it.");
  remove->add_option("ENTRY", words, "The entry")->required();
  std::string backup;
  CLI::App* restore = command("restore", "Put a backup of PXEquip.ini back",
                              "The file it replaces becomes a backup in turn (see list).");
  restore->add_option("BACKUP", backup, "Its file name (default the newest)");

  std::optional<std::string> server_class, method, outbox;
  bool clear = false;
  CLI::App* server = command(
      "server", "Name the host's server-connection component",
      "On a database-server route (\"ConnectThru\" of praxo32.ini MSDE or SQL) the plug-in\n"
      "creates this class at start-up and calls its method with the server name. Without\n"
      "\"ServerConnectionClass\" it creates nothing; without \"ServerConnectionMethod\" it calls\n"
      "SetServerName.");
  CLI::Option* class_option = server->add_option("--class", server_class, "Its ProgID or {CLSID}");
  server->add_option("--method", method, "The method given the server name")->needs(class_option);
  server->add_flag("--clear", clear, "Remove both keys: nothing is created")
      ->excludes(class_option);
  CLI::App* outbox_command = command(
      "outbox", "Set the folder of the DICOM outbox",
      "Each Capture then writes a job for the DICOM forwarder into FOLDER (\"DicomOutbox\" of\n"
      "[Tavirex]). Jobs carry patient data: only the users who capture and the forwarder may\n"
      "read it. It must not be a drop or store folder, or lie in one.");
  outbox_command->add_option("FOLDER", outbox, "A local or UNC folder");
  outbox_command->add_flag("--clear", clear, "Remove the key: no jobs are written");
  std::string receive_log;
  CLI::App* receive_log_command =
      command("receive-log", "Let the host write KR_Tavirex.log, or not",
              "Sets \"WriteReceiveDataLog\" of [Equipment] to YES (on) or NO (off).");
  receive_log_command->add_option("SWITCH", receive_log, "on or off")
      ->required()
      ->check(CLI::IsMember({"on", "off"}));

  if (std::optional<int> exit =
          cli::ParseCommandLine(app, args, context.out, context.err, kExitRefused)) {
    return *exit;
  }
  std::string device;
  for (const std::string& word : words) device += (device.empty() ? "" : " ") + word;
  // Refuses what the keys of [Tavirex] cannot hold; "" when they can.
  const std::string why =
      server->parsed() && !server_class && !clear   ? "give --class or --clear"
      : server_class && !IsClassName(*server_class) ? "\"" + *server_class +
                                                          "\" is neither a ProgID (such as "
                                                          "Praxo.ServerConnection) nor a {CLSID}"
      : method && !IsMethodName(*method)                ? "\"" + *method + "\" is no method name"
      : outbox_command->parsed() && (!outbox) == !clear ? "give a FOLDER or --clear"
      : outbox && !PathProblem(*outbox).empty()
          ? "the folder \"" + *outbox + "\" " + PathProblem(*outbox)
          : "";
  try {
    if (check->parsed()) return RunCheck(context, json);
    if (list->parsed()) return RunList(context);
    if (add->parsed() || set->parsed()) {
      request.device_name = device;
      return RunUpsert(request, add->parsed() ? Upsert::kNew : Upsert::kExisting, context);
    }
    if (remove->parsed()) return RunRemove(device, context);
    if (restore->parsed()) return RunRestore(backup, context);
    if (server->parsed()) {
      return RunSetKeys(
          "server", kServerConnectionSection,
          {{kServerConnectionClassKey, server_class}, {kServerConnectionMethodKey, method}},
          context, why);
    }
    if (outbox_command->parsed()) {
      return RunSetKeys("outbox", kTavirexSection, {{kDicomOutboxKey, outbox}}, context, why);
    }
    return RunSetKeys("receive-log", kEquipmentSection,
                      {{kWriteReceiveDataLogKey, receive_log == "on" ? "YES" : "NO"}}, context);
  } catch (...) {
    // A failure of a platform service outside the checks themselves.
    context.err << "tavirex-config: " << ErrorText(CurrentFailure(std::current_exception()))
                << "\n";
    return kExitWriteFailed;
  }
}

}  // namespace tavirex::config
