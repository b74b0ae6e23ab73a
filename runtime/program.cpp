#include "runtime/program.h"

#include <cstdlib>

#include "platform/platform.h"

namespace {

struct ProgramState {
  ProgramHooks hooks;
  bool ended = false;
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
  s.ended = false;
  std::string path = platform::Current().ExecutablePath();
  size_t slash = path.rfind('/');
  s.directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  for (ProgramHook hook : s.hooks.start) hook();
}

void ProgramRunEndHooks() {
  ProgramState& s = State();
  if (s.ended) return;
  s.ended = true;
  for (ProgramHook hook : s.hooks.end) hook();
}

void ProgramEnd() {
  ProgramRunEndHooks();
  std::exit(0);
}

const std::string& ProgramDirectory() { return State().directory; }
