// The programs' command line: a small table-driven reader.
#include "runtime/command_line.h"

#include <algorithm>
#include <cstdio>

#ifndef SKIRMORA_VERSION
#define SKIRMORA_VERSION "0"
#endif

namespace {

const CommandLineOption* FindOption(const std::vector<CommandLineOption>& options,
                                    std::string_view name) {
  for (const CommandLineOption& o : options) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

std::string OptionList(const std::vector<CommandLineOption>& options) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (const CommandLineOption& o : options) {
    rows.emplace_back(o.valueName.empty() ? o.name : o.name + " " + o.valueName, o.help);
  }
  rows.emplace_back("-h, --help", "show this text");
  rows.emplace_back("--version", "show the version");
  size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  std::string text;
  for (const auto& [left, right] : rows) {
    text += "  " + left + std::string(width - left.size() + 2, ' ') + right + "\n";
  }
  return text;
}

}  // namespace

const char* ProgramVersion() {
  return SKIRMORA_VERSION;
}

bool CommandLine::Has(std::string_view name) const {
  return std::any_of(given.begin(), given.end(), [name](const auto& g) { return g.first == name; });
}

std::string CommandLine::Value(std::string_view name) const {
  for (auto it = given.rbegin(); it != given.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return {};
}

std::string CommandLine::LastOf(const std::vector<std::string>& names) const {
  for (auto it = given.rbegin(); it != given.rend(); ++it) {
    if (std::find(names.begin(), names.end(), it->first) != names.end()) return it->first;
  }
  return {};
}

CommandLine CommandLineRead(int argc, const char* const* argv, const std::string& program,
                            const std::string& help,
                            const std::vector<CommandLineOption>& options) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--version") {
      std::printf("%s %s\n", program.c_str(), ProgramVersion());
      line.outcome = CommandLineOutcome::Answered;
      return line;
    }
    if (word == "--help" || word == "-h") {
      std::printf("Usage: %s [options]\n\n%s\n%s", program.c_str(), help.c_str(),
                  OptionList(options).c_str());
      line.outcome = CommandLineOutcome::Answered;
      return line;
    }
    if (word.size() < 2 || word[0] != '-') continue;  // not an option
    std::string value;
    bool valueAttached = false;
    if (const size_t equals = word.find('='); word.rfind("--", 0) == 0 && equals != word.npos) {
      value = word.substr(equals + 1);
      word.resize(equals);
      valueAttached = true;
    }
    const CommandLineOption* option = FindOption(options, word);
    if (option == nullptr) {
      std::fprintf(stderr, "%s: unknown option %s ignored (see --help)\n", program.c_str(),
                   word.c_str());
      continue;
    }
    if (option->valueName.empty()) {
      if (valueAttached) {
        std::fprintf(stderr, "%s: %s takes no value\n", program.c_str(), word.c_str());
        line.outcome = CommandLineOutcome::Refused;
        return line;
      }
    } else if (!valueAttached) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "%s: %s needs a %s\n", program.c_str(), word.c_str(),
                     option->valueName.c_str());
        line.outcome = CommandLineOutcome::Refused;
        return line;
      }
      value = argv[++i];
    }
    line.given.emplace_back(word, value);
  }
  return line;
}

int CommandLineExitCode(const CommandLine& line) {
  return line.outcome == CommandLineOutcome::Refused ? 2 : 0;
}

std::vector<CommandLineOption> DisplayOptions() {
  return {{"--window", "", "play in a window this time, whatever the settings say"},
          {"--fullscreen", "", "play full screen this time, whatever the settings say"}};
}

int CommandLineFullscreen(const CommandLine& line) {
  const std::string last = line.LastOf({"--window", "--fullscreen"});
  if (last.empty()) return -1;
  return last == "--fullscreen" ? 1 : 0;
}
