// Feeds arbitrary bytes to the preferences reader as "Preferences.prefs".
// The input's first line names a group, its second line a key; the rest is
// the file. Besides finding crashes and undefined behaviour, it checks what
// every string result must look like.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/headless.h"
#include "runtime/prefs.h"
#include "runtime/program.h"

namespace {

const char kDefault[] = "<default>";

std::string TakeLine(const uint8_t** data, size_t* size) {
  std::string line;
  while (*size > 0) {
    uint8_t c = **data;
    ++*data;
    --*size;
    if (c == '\n') break;
    if (line.size() < 64) line.push_back(static_cast<char>(c));
  }
  return line;
}

bool SetUpOnce() {
  static bool done = false;
  if (done) return true;
  char pattern[] = "/tmp/prefs-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  platform::UseHeadless().SetExecutablePath(std::string(pattern) + "/prog");
  ProgramStart(ProgramHooks{{PrefsInit}, {PrefsClose}});
  done = true;
  return true;
}

void CheckString(const std::string& value, size_t fileSize) {
  if (value == kDefault) return;
  // A found value stops at the line end and never starts with a space.
  if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) abort();
  if (!value.empty() && value[0] == ' ') abort();
  if (value.size() > fileSize) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!SetUpOnce()) return 0;
  std::string group = TakeLine(&data, &size);
  std::string key = TakeLine(&data, &size);

  std::string path = ProgramDirectory() + "Preferences.prefs";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  if (PrefsOpen("Preferences.prefs") == 0) abort();  // the file exists: it must open
  // Reads before any group look at the lines before the first group line.
  for (int round = 0; round < 3; ++round) {
    if (round == 1) PrefsGroup(group);
    if (round == 2) PrefsGroup("Data");
    CheckString(PrefsReadString(key, kDefault), size);
    CheckString(PrefsReadString("Name1", kDefault), size);
    PrefsReadLong(key, -1);
    PrefsReadLong("Port", -1);
  }
  PrefsClose();
  return 0;
}
