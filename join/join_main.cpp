// skirmora-join: the network game, client side.
#include "join/join_program.h"
#include "netplay/startup.h"
#include "platform/platform.h"
#include "runtime/program.h"

int main() {
  platform::UseSdl();
  ProgramStart(netplay::NetworkProgramHooks());
  join::JoinSession session;
  join::JoinMain(session);
  ProgramEnd();
}
