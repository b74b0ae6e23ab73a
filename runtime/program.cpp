#include "runtime/program.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/headless.h"
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

std::string ProgramFind(const std::string& name) {
  if (name.empty() || name.find('/') != std::string::npos) return {};
  auto runnable = [](const std::string& path) { return ::access(path.c_str(), X_OK) == 0; };
  const std::string& directory = State().directory;
  if (!directory.empty() && runnable(directory + name)) return directory + name;
  const char* path = std::getenv("PATH");
  if (path == nullptr) return {};
  const std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string dir = list.substr(start, end - start);
    // An empty entry or "." would mean the current directory: not ours to run.
    if (!dir.empty() && dir[0] == '/' && runnable(dir + "/" + name)) return dir + "/" + name;
    start = end + 1;
  }
  return {};
}

void ProgramReplace(const std::string& path, const std::vector<std::string>& args) {
  ProgramRunEndHooks();
  platform::UseHeadless();  // ends the SDL2 platform, giving the display back
  std::vector<std::string> words;
  words.push_back(path);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  ::execv(path.c_str(), argv.data());
  std::fprintf(stderr, "%s could not be started: %s\n", path.c_str(), std::strerror(errno));
  std::exit(1);
}

const std::string& ProgramDirectory() {
  return State().directory;
}
