// skirmora: the local two-player game.
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
    "  Esc leaves a match; on the menu it ends the game. Game controllers work too.\n"
    "\n"
    "Settings are read from Preferences.prefs next to the program or, when there is\n"
    "none, from $XDG_CONFIG_HOME/skirmora/Preferences.prefs (~/.config/skirmora/).\n";

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = CommandLineRead(argc, argv, "skirmora", kHelp, DisplayOptions());
  if (line.outcome != CommandLineOutcome::Run) return CommandLineExitCode(line);
  game::SkirmoraOptions options;
  options.fullscreen = CommandLineFullscreen(line);
  if (!platform::UseSdlOrReport("skirmora")) return 1;
  ProgramStart(game::SkirmoraHooks());
  game::SkirmoraMain(options);
  ProgramEnd();
}
