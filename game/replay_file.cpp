#include "game/replay_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <system_error>
#include <vector>

namespace game {
namespace {

const char* KindWord(ReplayKind kind) {
  return kind == ReplayKind::Host ? "host" : "local";
}

bool IsReplayName(const std::string& name) {
  static const std::regex pattern("[0-9]{8}-[0-9]{6}-[0-9]{3}-(local|host)\\.replay");
  return std::regex_match(name, pattern);
}

}  // namespace

std::string ReplayFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (dataHome != nullptr && dataHome[0] == '/') {
    base = dataHome;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.local/share";
  }
  return base + "/skirmora/replays";
}

bool ReplayRecorder::Begin(const Replay& header, const std::string& program, uint32_t nowMs) {
  End();
  kind_ = header.kind;
  frames_ = 0;
  flushedMs_ = nowMs;
  const std::string folder = ReplayFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
  std::string reason;
  for (int n = 0; n < 1000 && file_ == nullptr; ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "%s-%03d-%s.replay", stamp, n, KindWord(kind_));
    path_ = folder + "/" + name;
    // "x": never overwrite a replay written in the same second.
    file_.reset(std::fopen(path_.c_str(), "wx"));
    if (file_ == nullptr && errno != EEXIST) {
      reason = std::strerror(errno);
      break;
    }
  }
  if (file_ == nullptr) {
    std::fprintf(stderr, "%s: no replay is written: cannot create a file in %s (%s)\n",
                 program.c_str(), folder.c_str(), reason.empty() ? "too many" : reason.c_str());
    path_.clear();
    return false;
  }
  const std::string text = ReplayHeaderText(header);
  std::fwrite(text.data(), 1, text.size(), file_.get());
  std::fflush(file_.get());
  ReplayPrune(folder, kReplaysKept);
  return true;
}

void ReplayRecorder::Frame(const ReplayFrame& frame, uint32_t nowMs) {
  if (file_ == nullptr || frames_ >= kReplayMostFrames) return;
  const std::string text = ReplayFrameText(frame, kind_);
  std::fwrite(text.data(), 1, text.size(), file_.get());
  frames_ += 1;
  if (nowMs - flushedMs_ >= 500u) {
    std::fflush(file_.get());
    flushedMs_ = nowMs;
  }
}

void ReplayRecorder::End() {
  if (file_ == nullptr) return;
  const std::string text = ReplayEndText(frames_);
  std::fwrite(text.data(), 1, text.size(), file_.get());
  file_.reset();
}

void ReplayPrune(const std::string& folder, int32_t keep) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (IsReplayName(name) && entry.is_regular_file(ec)) names.push_back(name);
  }
  // The names begin with the time, so they sort oldest first.
  std::sort(names.begin(), names.end());
  const size_t kept = static_cast<size_t>(std::max(keep, 0));
  for (size_t i = 0; i + kept < names.size(); ++i) {
    std::filesystem::remove(folder + "/" + names[i], ec);
  }
}

bool ReplayLoad(const std::string& path, ReplayKind kind, Replay* replay, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    *error = "is a folder, not a replay";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = std::string("cannot be read (") + std::strerror(errno) + ")";
    return false;
  }
  std::string text;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (text.size() > kReplayLargestFile) {
      *error = "too large to be a replay";
      return false;
    }
  }
  if (in.bad()) {
    *error = "cannot be read";
    return false;
  }
  if (!ReplayRead(text, replay, error)) return false;
  if (replay->kind != kind) {
    *error = kind == ReplayKind::Host
                 ? "is a replay of a local match: play it with skirmora --replay"
                 : "is a replay of a network match: play it with skirmora-host --replay";
    return false;
  }
  return true;
}

}  // namespace game
