// skirmora-join: the network game, client side.
#include "platform/platform.h"
#include "runtime/program.h"

int main() {
  platform::UseSdl();
  ProgramHooks hooks;
  ProgramStart(hooks);
  ProgramEnd();
}
