// skirmora-join: the network game, client side.
#include "join/join_program.h"
#include "netplay/startup.h"
#include "platform/platform.h"
#include "runtime/command_line.h"
#include "runtime/program.h"

namespace {

const char kHelp[] =
    "Joins a network biplane dogfight hosted by skirmora-host (TCP port 6832).\n"
    "\n"
    "Type your name and the host's address and press Client. Return says you are\n"
    "ready; the host starts the match. Cursor left / right turn, Space fires, Esc\n"
    "leaves (other keys can be chosen in the [Keys] group of the settings).\n"
    "Alt+Enter or F11 switches between a window and full screen.\n"
    "\n"
    "Settings are read from Preferences.prefs next to the program or, when there is\n"
    "none, from $XDG_CONFIG_HOME/skirmora/Preferences.prefs (~/.config/skirmora/).\n";

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = CommandLineRead(argc, argv, "skirmora-join", kHelp, DisplayOptions());
  if (line.outcome != CommandLineOutcome::Run) return CommandLineExitCode(line);
  netplay::NetplayOptions options;
  options.fullscreen = CommandLineFullscreen(line);
  options.program = "skirmora-join";
  if (!platform::UseSdlOrReport("skirmora-join")) return 1;
  ProgramStart(netplay::NetworkProgramHooks());
  join::JoinSession session;
  join::JoinMain(session, options);
  ProgramEnd();
}
