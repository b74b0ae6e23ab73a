#include "runtime/prefs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "runtime/program.h"

namespace {

// A preferences file is a few hundred bytes; anything beyond this is not one
// and is treated like an unreadable file rather than loaded into memory.
constexpr off_t kMaxFileSize = 64 * 1024 * 1024;

constexpr size_t kNone = static_cast<size_t>(-1);

struct PrefsReader {
  bool open = false;
  // The whole file followed by two NUL bytes. The text ends at the first NUL
  // byte, so every scan below stops inside the buffer.
  std::vector<char> buffer;
  size_t groupPosition = kNone;
  char commentCharacter = ';';
};

PrefsReader& Reader() {
  static PrefsReader reader;
  return reader;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the length bytes at text equal name, ignoring the case of A-Z.
bool SameName(const char* text, size_t length, const std::string& name) {
  if (length != name.size()) return false;
  for (size_t i = 0; i < length; ++i) {
    if (LowerAscii(text[i]) != LowerAscii(name[i])) return false;
  }
  return true;
}

// The position of the line after the one containing pos, or the position of
// the terminating NUL when there is none. skipCr also steps over one CR that
// directly follows the LF.
size_t NextLine(const std::vector<char>& b, size_t pos, bool skipCr) {
  while (b[pos] != '\0' && b[pos] != '\n') ++pos;
  if (b[pos] == '\0') return pos;
  ++pos;
  if (skipCr && b[pos] == '\r') ++pos;
  return pos;
}

// Finds key in the current group and returns where its value starts, or kNone.
// skipCr selects how lines are stepped over (the two readers differ there).
size_t FindValue(const std::string& key, bool skipCr) {
  PrefsReader& r = Reader();
  if (!r.open || r.groupPosition == kNone || key.empty()) return kNone;
  const std::vector<char>& b = r.buffer;
  size_t line = r.groupPosition;
  while (b[line] != '\0' && b[line] != '[') {
    size_t p = line;
    while (b[p] == ' ') ++p;
    if (b[p] != r.commentCharacter) {
      size_t keyStart = p;
      while (b[p] != '\0' && b[p] != '\n' && b[p] != '=') ++p;
      if (b[p] == '=') {
        size_t keyEnd = p;
        while (keyEnd > keyStart && b[keyEnd - 1] == ' ') --keyEnd;
        if (SameName(&b[keyStart], keyEnd - keyStart, key)) {
          ++p;
          while (b[p] == ' ') ++p;
          return p;
        }
      }
    }
    line = NextLine(b, line, skipCr);
  }
  return kNone;
}

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The C library's atoi on the NUL-terminated text at pos, saturating instead
// of overflowing.
int32_t AtoiSaturating(const std::vector<char>& b, size_t pos) {
  while (IsCSpace(b[pos])) ++pos;
  bool negative = false;
  if (b[pos] == '-' || b[pos] == '+') {
    negative = b[pos] == '-';
    ++pos;
  }
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  while (b[pos] >= '0' && b[pos] <= '9') {
    value = value * 10 + (b[pos] - '0');
    if (value > limit) value = limit;
    ++pos;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

// Reads the whole regular file at fileName, or returns false.
bool LoadFile(const std::string& fileName, std::vector<char>* buffer) {
  if (fileName.empty()) return false;
  // Non-blocking, so that a FIFO of that name cannot hang the program; it is
  // rejected below as not a regular file.
  int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
      info.st_size > kMaxFileSize) {
    ::close(fd);
    return false;
  }
  size_t size = static_cast<size_t>(info.st_size);
  buffer->assign(size + 2, '\0');
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, buffer->data() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      buffer->clear();
      return false;
    }
    if (n == 0) break;  // the file shrank meanwhile: keep what was there
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  (*buffer)[done] = '\0';
  return true;
}

}  // namespace

void PrefsInit() {
  PrefsClose();
  Reader().commentCharacter = ';';
}

int32_t PrefsOpen(const std::string& fileName) {
  PrefsClose();
  const std::string& directory = ProgramDirectory();
  if (!directory.empty() && ::chdir(directory.c_str()) != 0) {
    // The file is then looked up in the directory we are in.
  }
  PrefsReader& r = Reader();
  if (!LoadFile(fileName, &r.buffer)) {
    r.buffer.clear();
    return 0;
  }
  r.open = true;
  r.groupPosition = 0;
  return 1;
}

std::string PrefsUserSettingsPath() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (configHome != nullptr && configHome[0] == '/') {
    base = configHome;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.config";
  }
  return base + "/skirmora/Preferences.prefs";
}

int32_t PrefsOpenSettings() {
  if (PrefsOpen("Preferences.prefs") != 0) return 1;
  return PrefsOpen(PrefsUserSettingsPath());
}

int32_t PrefsGroup(const std::string& name) {
  PrefsReader& r = Reader();
  r.groupPosition = kNone;
  if (!r.open) return 0;
  const std::vector<char>& b = r.buffer;
  size_t line = 0;
  while (b[line] != '\0') {
    if (b[line] == '[') {
      size_t start = line + 1;
      size_t end = start;
      while (b[end] != '\0' && b[end] != ']' && b[end] != '\n') ++end;
      if (SameName(&b[start], end - start, name)) {
        r.groupPosition = NextLine(b, line, true);
        return 1;
      }
    }
    line = NextLine(b, line, true);
  }
  return 0;
}

std::string PrefsReadString(const std::string& key, const std::string& def) {
  size_t value = FindValue(key, false);
  if (value == kNone) return def;
  const std::vector<char>& b = Reader().buffer;
  size_t end = value;
  while (b[end] != '\0' && b[end] != '\r' && b[end] != '\n') ++end;
  return std::string(&b[value], end - value);
}

int32_t PrefsReadLong(const std::string& key, int32_t def) {
  size_t value = FindValue(key, true);
  if (value == kNone) return def;
  return AtoiSaturating(Reader().buffer, value);
}

void PrefsClose() {
  PrefsReader& r = Reader();
  r.open = false;
  r.buffer.clear();
  r.buffer.shrink_to_fit();
  r.groupPosition = kNone;
}
