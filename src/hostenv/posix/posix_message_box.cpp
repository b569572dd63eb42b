// Message boxes: scripted answers first, then the user at the terminal.
#include "hostenv/posix/posix_platform.h"

#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

namespace tavirex {
namespace {

struct ButtonSet {
  const char* label;
  std::array<std::pair<char, int>, 3> keys;  // first letter typed -> answer
  int closed_answer;                         // no answer given: Esc or Cancel
};

const ButtonSet& ButtonsOf(int style) {
  using namespace msgbox;
  static const std::array<ButtonSet, 6> kSets = {{
      {"[O]K", {{{'o', kOk}, {'\n', kOk}, {'\0', 0}}}, kOk},
      {"[O]K / [C]ancel", {{{'o', kOk}, {'c', kCancel}, {'\0', 0}}}, kCancel},
      {"[A]bort / [R]etry / [I]gnore", {{{'a', 3}, {'r', 4}, {'i', 5}}}, 3},
      {"[Y]es / [N]o / [C]ancel", {{{'y', kYes}, {'n', kNo}, {'c', kCancel}}}, kCancel},
      {"[Y]es / [N]o", {{{'y', kYes}, {'n', kNo}, {'\0', 0}}}, kNo},
      {"[R]etry / [C]ancel", {{{'r', 4}, {'c', kCancel}, {'\0', 0}}}, kCancel},
  }};
  int buttons = style & 0xF;
  return kSets[buttons < static_cast<int>(kSets.size()) ? buttons : 0];
}

const char* AnswerName(int answer) {
  static const char* const kNames[] = {"OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
  return answer >= 1 && answer <= 7 ? kNames[answer - 1] : "?";
}

// What the box's icon says, as the first words of its text.
const char* IconName(int style) {
  static const char* const kIcons[] = {"", "Stop: ", "Question: ", "Warning: ", "Information: "};
  const int icon = (style & 0xF0) >> 4;
  return icon < 5 ? kIcons[icon] : "";
}

}  // namespace

int PosixPlatform::MessageBox(const std::string& text, int style,
                              const std::optional<std::string>& title) {
  const std::string shown_title = title ? *title : std::string(kDefaultAppTitle);
  int answer;
  bool asked = false;
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  } else if (options_.interactive && ::isatty(STDIN_FILENO)) {
    answer = AskUser(text, style, shown_title);
    asked = true;
  } else {
    answer = ButtonsOf(style).closed_answer;
  }
  if (!asked) {  // a scripted run still shows what the user was told
    std::fprintf(stderr, "[%s] %s%s  {%s} -> %s\n", shown_title.c_str(), IconName(style),
                 text.c_str(), ButtonsOf(style).label, AnswerName(answer));
  }
  return answer;
}

int PosixPlatform::AskUser(const std::string& text, int style, const std::string& title) const {
  const ButtonSet& buttons = ButtonsOf(style);
  std::fprintf(stderr, "\n=== %s ===\n%s%s\n", title.c_str(), IconName(style), text.c_str());
  while (true) {
    std::fprintf(stderr, "%s? ", buttons.label);
    std::fflush(stderr);
    char line[256];
    if (std::fgets(line, sizeof line, stdin) == nullptr) return buttons.closed_answer;
    char typed = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    for (const auto& [key, answer] : buttons.keys) {
      if (key != '\0' && key == typed) return answer;
    }
  }
}

}  // namespace tavirex
