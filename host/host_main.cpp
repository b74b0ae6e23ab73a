// skirmora-host: the network game, host side.
#include <cstdio>
#include <vector>

#include "game/replay_file.h"
#include "host/host_program.h"
#include "host/host_replay.h"
#include "netplay/startup.h"
#include "platform/platform.h"
#include "runtime/command_line.h"
#include "runtime/program.h"

namespace {

const char kHelp[] =
    "Hosts a network biplane dogfight: waits on TCP port 6832 for skirmora-join.\n"
    "\n"
    "Type your name and press Host. Once the other player has joined, Return starts\n"
    "the match. Cursor left / right turn, Space fires, Esc leaves (other keys can be\n"
    "chosen in the [Keys] group of the settings). Alt+Enter or F11 switches between\n"
    "a window and full screen.\n"
    "\n"
    "Settings are read from Preferences.prefs next to the program or, when there is\n"
    "none, from $XDG_CONFIG_HOME/skirmora/Preferences.prefs (~/.config/skirmora/).\n"
    "Every match is recorded in $XDG_DATA_HOME/skirmora/replays/\n"
    "(~/.local/share/skirmora/replays/); the newest 20 are kept.\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<CommandLineOption> known = DisplayOptions();
  known.push_back({"--replay", "FILE", "show a recorded match as the host saw it, then end"});
  const CommandLine line = CommandLineRead(argc, argv, "skirmora-host", kHelp, known);
  if (line.outcome != CommandLineOutcome::Run) return CommandLineExitCode(line);
  netplay::NetplayOptions options;
  options.fullscreen = CommandLineFullscreen(line);
  options.program = "skirmora-host";
  game::Replay replay;
  const bool replaying = line.Has("--replay");
  if (replaying) {
    const std::string path = line.Value("--replay");
    std::string error;
    if (!game::ReplayLoad(path, game::ReplayKind::Host, &replay, &error)) {
      std::fprintf(stderr, "skirmora-host: %s: %s\n", path.c_str(), error.c_str());
      return 2;
    }
  }
  if (!platform::UseSdlOrReport("skirmora-host")) return 1;
  ProgramStart(netplay::NetworkProgramHooks());
  host::HostSession session;
  if (replaying) {
    host::HostReplayMain(session, replay, options);
  } else {
    session.recordReplay = true;
    host::HostMain(session, options);
  }
  ProgramEnd();
}
