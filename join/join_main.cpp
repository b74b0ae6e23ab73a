// skirmora-join: the network game, client side.
#include "host/start_window.h"
#include "platform/platform.h"
#include "runtime/program.h"

int main() {
  platform::UseSdl();
  ProgramStart(NetworkProgramHooks());

  // Ende leaves at once; Host and Client hand over the name and address,
  // which the lobby (still to come) will use. Both ways end here for now.
  StartWindowValues values;
  StartWindowShow(&values);
  ProgramEnd();
}
