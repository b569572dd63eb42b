#include "cli/cli.h"

#include <algorithm>

#include "winrules/vb_string.h"

namespace tavirex::cli {
namespace {

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// Why the command line names something the tool does not know; "".
std::string UnknownName(CLI::App& app, const std::vector<std::string>& args) {
  CLI::App* command = &app;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") break;
    if (arg.size() > 1 && arg[0] == '-') {
      const std::string name = arg.substr(0, arg.find('='));
      // Looked up in the command and those it falls through to, for "did you mean".
      const CLI::Option* option = nullptr;
      std::vector<std::string> names;
      std::string letter_hint;
      for (const CLI::App* owner = command; owner != nullptr && option == nullptr;
           owner = owner->get_parent()) {
        option = owner->get_option_no_throw(name);
        for (const CLI::Option* known : owner->get_options()) {
          for (const std::string& long_name : known->get_lnames()) {
            names.push_back("--" + long_name);
            if (name.size() == 2 && EqualsIgnoreCaseAscii(long_name.substr(0, 1), name.substr(1))) {
              letter_hint = " (did you mean --" + long_name + "?)";  // "-V": --version
            }
          }
          for (const std::string& letter : known->get_snames()) names.push_back("-" + letter);
        }
      }
      if (option == nullptr) {
        const std::string hint = letter_hint.empty() ? DidYouMean(name, names) : letter_hint;
        return "unknown option " + name + hint;
      }
      if (option->get_items_expected_min() > 0 && name == arg) ++i;  // its value
    } else if (command == &app && !app.get_subcommands({}).empty()) {
      std::vector<std::string> names;
      for (CLI::App* sub : app.get_subcommands({})) {
        if (sub->check_name(arg)) command = sub;
        names.push_back(sub->get_name());
      }
      if (command == &app) return "unknown command \"" + arg + "\"" + DidYouMean(arg, names);
    }
  }
  return "";
}

}  // namespace

std::string DidYouMean(std::string_view name, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t best_distance = 3;
  for (const std::string& candidate : candidates) {
    if (const std::size_t distance = EditDistance(UpperAscii(name), UpperAscii(candidate));
        distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best.empty() ? "" : " (did you mean " + best + "?)";
}

std::optional<int> ParseCommandLine(CLI::App& app, const std::vector<std::string>& args,
                                    std::ostream& out, std::ostream& err, int refused) {
  if (args.empty()) {
    err << app.help();
    return refused;
  }
  if (const std::string why = UnknownName(app, args); !why.empty()) {
    err << app.get_name() << ": " << why << "; see " << app.get_name() << " --help\n";
    return refused;
  }
  try {
    app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
  } catch (const CLI::ParseError& error) {
    return app.exit(error, out, err) == 0 ? 0 : refused;
  }
  return std::nullopt;
}

}  // namespace tavirex::cli
