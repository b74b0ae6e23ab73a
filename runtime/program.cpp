#include "runtime/program.h"

#include <cstdlib>

#include "platform/platform.h"

namespace {

struct ProgramState {
  ProgramHooks hooks;
  // Index of the next end hook to run. An end hook that itself ends the
  // program (say, after a message box) continues this same sequence, so every
  // end hook still runs exactly once and in order.
  size_t nextEndHook = 0;
  std::string directory;
};

ProgramState& State() {
  static ProgramState state;
  return state;
}

}  // namespace

void ProgramStart(const ProgramHooks& hooks) {
  ProgramState& s = State();
  s.hooks = hooks;
  s.nextEndHook = 0;
  std::string path = platform::Current().ExecutablePath();
  size_t slash = path.rfind('/');
  s.directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  for (ProgramHook hook : s.hooks.start) {
    if (hook != nullptr) hook();
  }
}

void ProgramRunEndHooks() {
  ProgramState& s = State();
  while (s.nextEndHook < s.hooks.end.size()) {
    ProgramHook hook = s.hooks.end[s.nextEndHook++];
    if (hook != nullptr) hook();
  }
}

void ProgramEnd() {
  ProgramRunEndHooks();
  std::exit(0);
}

const std::string& ProgramDirectory() {
  return State().directory;
}
