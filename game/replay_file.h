#pragma once
// Replay files on disk: the folder they go to, a recorder that writes a match
// as it runs (flushed at least twice a second, so that a crash loses less than
// a second of it) and keeps only the newest files, and the loading of a file
// for playback with a one-line reason when it cannot be played.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "game/replay.h"

namespace game {

// Replays kept in the folder; older ones are deleted when a new one starts.
constexpr int32_t kReplaysKept = 20;

// $XDG_DATA_HOME/skirmora/replays, or ~/.local/share/skirmora/replays when
// that is unset or not absolute.
std::string ReplayFolder();

// Writes one match. A recorder that could not open its file does nothing
// (the match goes on; the reason has been reported on standard error).
class ReplayRecorder {
 public:
  // Creates the folder if needed and a new file in it named after the time
  // (UTC), e.g. 20261209-081500-000-local.replay; writes the header; then
  // deletes all but the newest kReplaysKept replays there.
  bool Begin(const Replay& header, const std::string& program, uint32_t nowMs);
  // Appends a frame; flushes when half a second has passed since the last.
  void Frame(const ReplayFrame& frame, uint32_t nowMs);
  // Writes the closing line and closes the file.
  void End();
  bool Recording() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::string path_;
  ReplayKind kind_ = ReplayKind::Local;
  size_t frames_ = 0;
  uint32_t flushedMs_ = 0;
};

// Deletes the oldest replays of the folder (only files named as the recorder
// names them) until `keep` are left.
void ReplayPrune(const std::string& folder, int32_t keep);

// Reads a replay file of the given kind. False with a one-line reason (it
// cannot be read, it is too large, it is damaged, or it is of the other kind).
bool ReplayLoad(const std::string& path, ReplayKind kind, Replay* replay, std::string* error);

}  // namespace game
