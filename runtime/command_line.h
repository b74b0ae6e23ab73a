#pragma once
// The command line of the three programs: --help (also -h) and --version,
// answered on standard output, and the options a program declares in a
// table. Adding an option is one more table entry; the program then asks the
// parsed command line whether it was given and with which value. Words that
// are not options (a file a desktop launcher hands over) are ignored; an
// unknown option is reported on standard error and ignored, so a mistyped
// option never stops the game; an option that needs a value and has none
// is refused.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One option a program understands.
struct CommandLineOption {
  std::string name;       // with its dashes, e.g. "--window"
  std::string valueName;  // e.g. "FILE" when the option takes a value, else empty
  std::string help;       // one line for --help
};

enum class CommandLineOutcome {
  Run,       // go on and run the program
  Answered,  // --help or --version was answered: end with exit code 0
  Refused,   // a bad command line was reported on standard error: end with exit code 2
};

struct CommandLine {
  CommandLineOutcome outcome = CommandLineOutcome::Run;
  // The options given, in their order, each with its value (empty for an
  // option without one).
  std::vector<std::pair<std::string, std::string>> given;

  bool Has(std::string_view name) const;
  // The value of the last time the option was given; empty when it was not.
  std::string Value(std::string_view name) const;
  // Of the named options, the one given last; empty when none was given.
  std::string LastOf(const std::vector<std::string>& names) const;
};

// Reads the command line. help is the program's description (printed after
// "Usage: program [options]"), followed by the list of options.
CommandLine CommandLineRead(int argc, const char* const* argv, const std::string& program,
                            const std::string& help, const std::vector<CommandLineOption>& options);

// The exit code for a command line that is not to run: 0 answered, 2 refused.
int CommandLineExitCode(const CommandLine& line);

// "--window" and "--fullscreen", which override the Fullscreen setting for one run.
std::vector<CommandLineOption> DisplayOptions();

// The display the command line asks for: 1 full screen, 0 a window, -1 the
// setting decides. The last of --window and --fullscreen wins.
int CommandLineFullscreen(const CommandLine& line);

// The version of the programs, as built.
const char* ProgramVersion();
