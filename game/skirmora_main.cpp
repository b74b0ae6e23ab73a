// skirmora: the local two-player game.
#include "game/skirmora.h"
#include "platform/platform.h"
#include "runtime/program.h"

int main() {
  platform::UseSdl();
  ProgramStart(game::SkirmoraHooks());
  game::SkirmoraMain();
  ProgramEnd();
}
