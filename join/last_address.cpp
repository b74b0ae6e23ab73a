#include "join/last_address.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "netplay/start_window.h"

namespace join {
namespace {

// Longer than any dotted address with its line end.
constexpr size_t kMostFileBytes = 64;

// Makes every missing folder of the path (not its last part), private to the user.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string LastAddressPath() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string folder;
  if (state != nullptr && state[0] == '/') {
    folder = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    folder = std::string(home) + "/.local/state";
  } else {
    return "";
  }
  return folder + "/skirmora/last-host";
}

std::string LastAddressLoad(const std::string& path) {
  if (path.empty()) return kDefaultHostAddress;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return kDefaultHostAddress;
  char buffer[kMostFileBytes + 1];
  size_t got = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    if (got == sizeof buffer) break;
  }
  ::close(fd);
  if (got > kMostFileBytes) return kDefaultHostAddress;
  std::string text(buffer, got);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  int32_t value = 0;
  return ParseDottedAddress(text, &value) ? text : kDefaultHostAddress;
}

bool LastAddressSave(const std::string& path, const std::string& address) {
  int32_t value = 0;
  if (path.empty() || !ParseDottedAddress(address, &value) || !MakeFolders(path)) return false;
  const std::string temporary = path + ".new" + std::to_string(::getpid());
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, address + "\n") && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace join
