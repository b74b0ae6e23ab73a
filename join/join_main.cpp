// skirmora-join: the network game, client side.
#include "host/start_window.h"
#include "platform/platform.h"
#include "runtime/program.h"

int main() {
  platform::UseSdl();
  ProgramStart(NetworkProgramHooks());

  StartWindowValues values;
  if (StartWindowShow(&values) == 0) ProgramEnd();
  ProgramEnd();
}
