#pragma once
// Running shell commands from end-to-end tests.

#include <cstdio>
#include <string>

namespace command {

// What the command prints on standard output.
inline std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
  pclose(pipe);
  return out;
}

}  // namespace command
