#pragma once
// Start and end of a program. Each library offers a start-up hook and an end
// hook; each program lists them in its own fixed order and hands them to
// ProgramStart. Every way out of a program goes through ProgramEnd.

#include <string>
#include <vector>

using ProgramHook = void (*)();

struct ProgramHooks {
  std::vector<ProgramHook> start;  // run in this order by ProgramStart
  std::vector<ProgramHook> end;    // run in this order by ProgramEnd
};

// Finds the program directory and runs the start-up hooks.
void ProgramStart(const ProgramHooks& hooks);

// Runs the end hooks once, in order, and ends the process with exit code 0.
// Called again from inside an end hook, it carries on with the hooks not yet
// run instead of skipping them.
[[noreturn]] void ProgramEnd();

// Runs the end hooks once, in order, without ending the process. ProgramEnd
// uses it; tests use it to check the order.
void ProgramRunEndHooks();

// The full path of another program of ours: the one next to this program,
// else the first on the PATH; empty when neither has an executable file of
// that name.
std::string ProgramFind(const std::string& name);

// Hands over to another program: runs the end hooks, shuts the platform down
// (the display given back, SDL2 ended), then replaces this process with the
// program at path, started with args. Returns never: if the replacement
// fails after all, says so on standard error and ends with exit code 1.
[[noreturn]] void ProgramReplace(const std::string& path, const std::vector<std::string>& args);

// The directory of the running program, with its trailing '/'.
const std::string& ProgramDirectory();
