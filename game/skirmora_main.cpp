// skirmora: the local two-player game.
#include "platform/platform.h"
#include "runtime/program.h"

int main() {
  platform::UseSdl();
  ProgramHooks hooks;
  ProgramStart(hooks);
  ProgramEnd();
}
