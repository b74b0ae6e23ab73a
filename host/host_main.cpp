// skirmora-host: the network game, host side.
#include "host/host_program.h"
#include "netplay/startup.h"
#include "platform/platform.h"
#include "runtime/command_line.h"
#include "runtime/program.h"

namespace {

const char kHelp[] =
    "Hosts a network biplane dogfight: waits on TCP port 6832 for skirmora-join.\n"
    "\n"
    "Type your name and press Host. Once the other player has joined, Return starts\n"
    "the match. Cursor left / right turn, Space fires, Esc leaves.\n";

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = CommandLineRead(argc, argv, "skirmora-host", kHelp, DisplayOptions());
  if (line.outcome != CommandLineOutcome::Run) return CommandLineExitCode(line);
  netplay::NetplayOptions options;
  options.fullscreen = CommandLineFullscreen(line);
  if (!platform::UseSdlOrReport("skirmora-host")) return 1;
  ProgramStart(netplay::NetworkProgramHooks());
  host::HostSession session;
  host::HostMain(session, options);
  ProgramEnd();
}
