// skirmora: the local two-player game.
#include <cstdio>
#include <vector>

#include "game/replay_file.h"
#include "game/skirmora.h"
#include "platform/platform.h"
#include "runtime/command_line.h"
#include "runtime/program.h"

namespace {

const char kHelp[] =
    "A biplane dogfight for two players on one keyboard, or one against the computer.\n"
    "\n"
    "  red:  cursor left / right turn, right Ctrl fires\n"
    "  blue: A / D turn, left Ctrl fires\n"
    "  (other keys can be chosen in the [Keys] group of the settings)\n"
    "  P or Pause pauses a match, Esc leaves it; on the menu Esc ends the game.\n"
    "  Alt+Enter or F11 switches between a window and full screen.\n"
    "  Game controllers work too.\n"
    "\n"
    "Settings are read from Preferences.prefs next to the program or, when there is\n"
    "none, from $XDG_CONFIG_HOME/skirmora/Preferences.prefs (~/.config/skirmora/).\n"
    "Every match is recorded in $XDG_DATA_HOME/skirmora/replays/\n"
    "(~/.local/share/skirmora/replays/); the newest 20 are kept.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<CommandLineOption> known = DisplayOptions();
  known.push_back({"--replay", "FILE", "show a recorded match, then end (Esc ends it sooner)"});
  const CommandLine line = CommandLineRead(argc, argv, "skirmora", kHelp, known);
  if (line.outcome != CommandLineOutcome::Run) return CommandLineExitCode(line);
  game::SkirmoraOptions options;
  options.fullscreen = CommandLineFullscreen(line);
  options.recordReplays = true;
  game::Replay replay;
  if (line.Has("--replay")) {
    const std::string path = line.Value("--replay");
    std::string error;
    if (!game::ReplayLoad(path, game::ReplayKind::Local, &replay, &error)) {
      std::fprintf(stderr, "skirmora: %s: %s\n", path.c_str(), error.c_str());
      return 2;
    }
    options.replay = &replay;
  }
  if (!platform::UseSdlOrReport("skirmora")) return 1;
  ProgramStart(game::SkirmoraHooks());
  game::SkirmoraMain(options);
  ProgramEnd();
}
