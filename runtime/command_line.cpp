#include "runtime/command_line.h"

#include <cstdio>
#include <string_view>

#ifndef SKIRMORA_VERSION
#define SKIRMORA_VERSION "0"
#endif

const char* ProgramVersion() {
  return SKIRMORA_VERSION;
}

bool CommandLineAnswered(int argc, const char* const* argv, const std::string& program,
                         const std::string& help) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--version") {
      std::printf("%s %s\n", program.c_str(), ProgramVersion());
      return true;
    }
    if (word == "--help") {
      std::printf("Usage: %s\n\n%s", program.c_str(), help.c_str());
      return true;
    }
  }
  return false;
}
