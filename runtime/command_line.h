#pragma once
// The few command-line words the programs answer. Everything else on the
// command line is ignored, as it always has been.

#include <string>

// Answers "--help" (the program's name, what it is, and help) and
// "--version" (the program's name and version) on standard output. True when
// one of them was answered: the program then ends with exit code 0.
bool CommandLineAnswered(int argc, const char* const* argv, const std::string& program,
                         const std::string& help);

// The version of the programs, as built.
const char* ProgramVersion();
