#include "tools/config/config_tool.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <optional>

#include "hostenv/system.h"
#include "plugin/catalogue.h"
#include "tools/config/commands.h"
#include "winrules/vb_error.h"

namespace tavirex::config {
namespace {

constexpr const char* kDescription =
    "Checks and edits PXEquip.ini, the equipment INI in the Windows directory from which the\n"
    "Tavirex plug-in takes each device function's folders and vendor program.";

std::string Footer() {
  std::string footer =
      "DEVICE: Capture or Review, a blank, and one of iKoraiBlendo, Vessara, Corvana, iScopa,\n"
      "iBlendo, iPicta, iVitara, iPedra (exactly, case included). For Capture, --data is the\n"
      "drop folder; for Review the store folder, into which Capture imports and which Review\n"
      "and Count list. Every edit keeps the rest of the file byte for byte and the old file as\n"
      "PXEquip.ini.bak, and replaces the file in one rename; a refusal changes nothing.\n"
      "\n"
      "Exit codes: 0 done, 1 check found problems, 2 refused (nothing changed),\n"
      "3 the file could not be written.\n";
  if (std::string_view settings = SystemPlatformNotes().settings; !settings.empty()) {
    footer += "\n" + std::string(settings);
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
  CLI::App app(kDescription, "tavirex-config");
  app.set_version_flag("--version", std::string("tavirex-config ") + TAVIREX_VERSION);
  app.require_subcommand(1);
  app.footer(Footer());

  // Each command: a line for the list of commands, the details for its help.
  auto command = [&](const char* name, const char* summary, const std::string& details) {
    CLI::App* sub = app.add_subcommand(name, summary);
    sub->footer(details + "\n" + Footer());
    return sub;
  };

  CLI::App* check = command(
      "check", "What every device function would use, and what would go wrong",
      "For each of the sixteen device functions: its equipment number, the program, drop folder\n"
      "and store folder Capture uses, the folder Review and Count use, where each comes from and\n"
      "whether it exists and can be written (a small file is created and removed to find out);\n"
      "whether the plug-in can write its three log files; then the problems that would show at\n"
      "run time. Exit code 1 when there are any.\n");
  bool json = false;
  check->add_flag("--json", json, "One JSON object instead of the tables (see the README)");

  CLI::App* list = command("list", "The entries of [Equipment] and their settings", "");

  std::vector<std::string> device;
  AddRequest add_request;
  CLI::App* add = command(
      "add", "Configure a device function",
      "A new entry in [Equipment] and a new numbered section with \"EquipDataPath\" (and, for\n"
      "Capture, \"EquipProgPathFName\"). Refused for a function that is listed already.\n");
  add->add_option("DEVICE", device, "The device function, e.g. \"Capture Vessara\"")->required();
  add->add_option("--data", add_request.data_folder, "The folder (drop or store folder)")
      ->required();
  add->add_option("--program", add_request.program_path,
                  std::string("Capture's vendor program (default ") + kDefaultVendorProgram + ")");
  add->add_option("--label", add_request.label, "The entry's label (default the device name)");

  SetRequest set_request;
  CLI::App* set = command(
      "set", "Change the settings of a configured device function",
      "Replaces the values given and leaves the others as they are; a key that is missing is\n"
      "added to the function's section.\n");
  set->add_option("DEVICE", device, "The device function, e.g. \"Capture Vessara\"")->required();
  CLI::Option* set_data = set->add_option("--data", set_request.data_folder.emplace(),
                                          "The folder (drop or store folder)");
  CLI::Option* set_program =
      set->add_option("--program", set_request.program_path.emplace(), "Capture's vendor program");
  CLI::Option* set_label =
      set->add_option("--label", set_request.label.emplace(), "The entry's label");

  CLI::App* remove = command(
      "remove", "Remove a device function",
      "Removes its [Equipment] entry (the entries after it move up one, and \"Number\" goes down\n"
      "by one) and its section, unless another entry uses that section.\n");
  remove->add_option("DEVICE", device, "The device function, e.g. \"Review Vessara\"")->required();

  std::string server_class;
  ServerRequest server_request;
  CLI::App* server = command(
      "server", "Name the host's server-connection component",
      "The plug-in creates the host's server-connection component at start-up when\n"
      "\"ConnectThru\" of praxo32.ini is MSDE or SQL, and calls it with the server name. These\n"
      "set the keys \"ServerConnectionClass\" and \"ServerConnectionMethod\" of section\n"
      "[Tavirex]; without them the plug-in uses its own class and method.\n");
  CLI::Option* server_class_option =
      server->add_option("--class", server_class, "Its ProgID or {CLSID}");
  server
      ->add_option("--method", server_request.method,
                   "The method called with the server name (default the plug-in's own)")
      ->needs(server_class_option);
  bool clear_server = false;
  CLI::Option* clear = server->add_flag("--clear", clear_server,
                                        "Remove both keys: the plug-in's own class and method");
  clear->excludes(server_class_option);

  try {
    if (args.empty()) throw CLI::CallForHelp();
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
    if (server->parsed() && server_class_option->count() == 0 && clear->count() == 0) {
      throw CLI::RequiredError("--class or --clear");
    }
  } catch (const CLI::ParseError& error) {
    if (args.empty()) {
      context.err << app.help();
      return kExitRefused;
    }
    return app.exit(error, context.out, context.err) == 0 ? kExitOk : kExitRefused;
  }

  try {
    if (check->parsed()) return RunCheck(context, json);
    if (list->parsed()) return RunList(context);
    if (add->parsed()) {
      add_request.device_name = Words(device);
      return RunAdd(add_request, context);
    }
    if (set->parsed()) {
      set_request.device_name = Words(device);
      if (set_data->count() == 0) set_request.data_folder.reset();
      if (set_program->count() == 0) set_request.program_path.reset();
      if (set_label->count() == 0) set_request.label.reset();
      return RunSet(set_request, context);
    }
    if (remove->parsed()) return RunRemove(Words(device), context);
    if (server->parsed()) {
      if (server_class_option->count() != 0) server_request.class_name = server_class;
      return RunServer(server_request, context);
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
