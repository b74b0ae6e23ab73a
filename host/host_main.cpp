// skirmora-host: the network game, host side.
#include "host/host_program.h"
#include "netplay/startup.h"
#include "platform/platform.h"
#include "runtime/program.h"

int main() {
  platform::UseSdl();
  ProgramStart(netplay::NetworkProgramHooks());
  host::HostSession session;
  host::HostMain(session);
  ProgramEnd();
}
