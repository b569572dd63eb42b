#include "tools/config/config_tool.h"

#include <exception>

#include "hostenv/system.h"
#include "plugin/catalogue.h"
#include "tools/config/commands.h"
#include "tools/config/equipment_list.h"
#include "tools/tool_cli.h"
#include "winrules/vb_error.h"

namespace tavirex::config {
namespace {

std::string Footer(const ToolContext& context) {
  std::string footer =
      "DEVICE: Capture or Review, a blank, and one of iKoraiBlendo, Vessara, Corvana, iScopa,\n"
      "iBlendo, iPicta, iVitara, iPedra (exactly, case included). For Capture, --data is the\n"
      "drop folder; for Review the store folder, into which Capture imports and which Review\n"
      "and Count list.\n\n"
      "Every edit reads the whole file first and refuses, before writing anything, a file it\n"
      "cannot read, a read-only one and a value the file's code page cannot hold. It keeps the\n"
      "rest of the file byte for byte, the old file as a time-stamped backup beside it (the\n"
      "last ten are kept; see restore), and replaces the file in one rename, keeping its\n"
      "permissions. --dry-run shows the change and writes nothing.\n\n"
      "Exit codes: 0 done, 1 check or list found problems, 2 refused (nothing changed),\n"
      "3 the file could not be written (nothing changed).\n\n"
      "PXEquip.ini here: " +
      context.equip_ini_path + "\n";
  if (std::string_view settings = SystemPlatformNotes().settings; !settings.empty()) {
    footer += std::string(settings);
  }
  return footer;
}

std::string Words(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : " ") + word;
  return joined;
}

}  // namespace

int RunConfigTool(const std::vector<std::string>& args, ToolContext& context) {
  CLI::App app(
      "Checks and edits PXEquip.ini, the equipment INI in the Windows directory from which the\n"
      "Tavirex plug-in takes each device function's folders and vendor program.",
      "tavirex-config");
  app.set_version_flag("--version", std::string("tavirex-config ") + TAVIREX_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  app.footer(Footer(context));
  app.add_flag("--dry-run", context.dry_run, "Show what an edit would change; write nothing");

  CLI::App* check =
      app.add_subcommand("check", "What every device function would use, and what would go wrong");
  check->footer(
      "For each of the sixteen device functions: its equipment number, the program, drop folder\n"
      "and store folder Capture uses, the folder Review and Count use, where each comes from and\n"
      "whether it exists and can be written (a small file is created and removed to find out);\n"
      "files waiting in a drop folder; the DICOM outbox; whether the plug-in can write its three\n"
      "log files; then the problems that would show at run time. Exit code 1 when there are any.");
  bool json = false;
  check->add_flag("--json", json, "One JSON object instead of the tables (see the README)");
  CLI::App* list =
      app.add_subcommand("list", "The entries of [Equipment], their settings and the backups");

  std::vector<std::string> device;
  DeviceRequest request;
  auto device_command = [&](const char* name, const char* summary, const char* details) {
    CLI::App* sub = app.add_subcommand(name, summary);
    sub->footer(details);
    sub->add_option("DEVICE", device, "The device function, e.g. \"Capture Vessara\"")->required();
    sub->add_option("--data", request.data_folder,
                    "The folder (Capture: drop folder, Review: store folder)");
    sub->add_option(
        "--program", request.program_path,
        std::string("Capture's vendor program (add: default ") + kDefaultVendorProgram + ")");
    sub->add_option("--label", request.label, "The entry's label (add: default the device name)");
    return sub;
  };
  CLI::App* add = device_command(
      "add", "Configure a device function",
      "A new entry in [Equipment] and a new numbered section with \"EquipDataPath\" (and, for\n"
      "Capture, \"EquipProgPathFName\"). Refused for a function that is configured already.");
  add->get_option("--data")->required();
  CLI::App* set = device_command(
      "set", "Change the settings of a configured device function",
      "Replaces the values given and leaves the others as they are; a key that is missing is\n"
      "added to the function's section.");

  std::string entry;
  CLI::App* remove = app.add_subcommand("remove", "Take an entry out of [Equipment]");
  remove->footer(
      "ENTRY is a device name, or any entry as check and list show it: its key (3), its text\n"
      "(22:OCT:Tavirex:Review vessara) or both (3=22:...). The entries after it move up one\n"
      "and \"Number\" goes down by one; its section goes too, unless another entry uses it.");
  remove->add_option("ENTRY", device, "The entry")->required();

  std::string backup;
  CLI::App* restore = app.add_subcommand("restore", "Put a backup of PXEquip.ini back");
  restore->footer("The file it replaces is kept as a backup in turn; list shows the backups.");
  restore->add_option("BACKUP", backup, "Its file name (default the newest)");

  std::optional<std::string> server_class;
  std::optional<std::string> method;
  bool clear = false;
  CLI::App* server = app.add_subcommand("server", "Name the host's server-connection component");
  server->footer(
      "On a database-server route (\"ConnectThru\" of praxo32.ini MSDE or SQL) the plug-in "
      "creates\n"
      "this class at start-up and calls its method with the server name. Without\n"
      "\"ServerConnectionClass\" it creates nothing; without \"ServerConnectionMethod\" it calls\n"
      "SetServerName.");
  CLI::Option* class_option = server->add_option("--class", server_class, "Its ProgID or {CLSID}");
  server->add_option("--method", method, "The method given the server name (default SetServerName)")
      ->needs(class_option);
  server->add_flag("--clear", clear, "Remove both keys: nothing is created")
      ->excludes(class_option);

  std::optional<std::string> outbox;
  CLI::App* outbox_command = app.add_subcommand("outbox", "Set the folder of the DICOM outbox");
  outbox_command->footer(
      "Each Capture then writes one job file for the DICOM forwarder into FOLDER (\"DicomOutbox\"\n"
      "of [Tavirex]). Jobs carry patient data: only the users who capture and the forwarder may\n"
      "read the folder. It must not be a drop or store folder, or inside one.");
  CLI::Option* outbox_option =
      outbox_command->add_option("FOLDER", outbox, "A local or UNC folder");
  outbox_command->add_flag("--clear", clear, "Remove the key: no jobs are written")
      ->excludes(outbox_option);

  std::string receive_log;
  CLI::App* receive_log_command =
      app.add_subcommand("receive-log", "Let the host write KR_Tavirex.log, or not");
  receive_log_command->footer(
      "Sets \"WriteReceiveDataLog\" of [Equipment] to YES (on) or NO (off).");
  receive_log_command->add_option("SWITCH", receive_log, "on or off")
      ->required()
      ->check(CLI::IsMember({"on", "off"}));

  if (std::optional<int> exit =
          tools::ParseCommandLine(app, args, context.out, context.err, kExitRefused)) {
    return *exit;
  }
  auto refuse = [&](const std::string& command, const std::string& why) {
    context.err << "tavirex-config " << command << ": " << why << "\nNothing was changed.\n";
    return kExitRefused;
  };
  try {
    if (check->parsed()) return RunCheck(context, json);
    if (list->parsed()) return RunList(context);
    if (add->parsed() || set->parsed()) {
      request.device_name = Words(device);
      return RunUpsert(request, add->parsed() ? Upsert::kNew : Upsert::kExisting, context);
    }
    if (remove->parsed()) return RunRemove(Words(device), context);
    if (restore->parsed()) return RunRestore(backup, context);
    if (server->parsed()) {
      if (!server_class && !clear) return refuse("server", "give --class or --clear");
      if (server_class && !IsClassName(*server_class)) {
        return refuse("server", "\"" + *server_class +
                                    "\" is neither a ProgID (letters, digits and dots, such as "
                                    "Praxo.ServerConnection) nor a {CLSID}");
      }
      if (method && !IsMethodName(*method)) {
        return refuse("server", "\"" + *method + "\" is no method name");
      }
      return RunSetKeys(
          "server", kServerConnectionSection,
          {{kServerConnectionClassKey, server_class}, {kServerConnectionMethodKey, method}},
          context);
    }
    if (outbox_command->parsed()) {
      if (!outbox && !clear) return refuse("outbox", "give a FOLDER or --clear");
      if (std::string why = outbox ? PathProblem(*outbox) : ""; !why.empty()) {
        return refuse("outbox", "the folder \"" + *outbox + "\" " + why);
      }
      return RunSetKeys("outbox", kServerConnectionSection, {{kDicomOutboxKey, outbox}}, context);
    }
    if (receive_log_command->parsed()) {
      return RunSetKeys("receive-log", kEquipmentSection,
                        {{kWriteReceiveDataLogKey, receive_log == "on" ? "YES" : "NO"}}, context);
    }
  } catch (...) {
    // A failure of a platform service outside the checks themselves.
    VbError failure = CurrentFailure(std::current_exception());
    context.err << "tavirex-config: Err " << failure.number() << " " << failure.description()
                << "\n";
    return kExitWriteFailed;
  }
  return kExitRefused;
}

}  // namespace tavirex::config
