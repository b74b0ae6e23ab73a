// The music library: one player, its output thread and the hand-over to the
// mixer's music ring. The main thread and the output thread share the player
// under a mutex that each holds only for one short piece of rendering or one
// field change.

#include "media/music.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/mixer.h"
#include "media/module_player.h"

namespace {

constexpr int kWakeMs = 25;
constexpr int kPieceFrames = 1024;  // frames rendered per hold of the player lock

struct MusicState {
  std::mutex playerLock;  // guards player
  ModulePlayer player;

  std::mutex threadLock;  // guards the fields below and wakes the thread
  std::condition_variable wake;
  std::condition_variable finished;
  std::thread thread;
  uint64_t generation = 0;  // the running thread stops when this changes
  bool threadDone = true;
  bool attached = false;
};

MusicState& State() {
  static MusicState state;
  return state;
}

void OutputThread(uint64_t generation) {
  MusicState& s = State();
  std::vector<int16_t> piece(kPieceFrames * 2);
  uint32_t lastWrite = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(s.threadLock);
      s.wake.wait_for(lock, std::chrono::milliseconds(kWakeMs),
                      [&] { return s.generation != generation; });
      if (s.generation != generation) break;
    }
    const uint32_t target = MixerMusicPlayPosition() & ~31u;
    int32_t amount = static_cast<int32_t>(target) - static_cast<int32_t>(lastWrite);
    if (amount < 0) amount += kMusicStreamBytes;
    int frames = amount / 4;
    uint32_t at = lastWrite;
    while (frames > 0) {
      const int n = frames < kPieceFrames ? frames : kPieceFrames;
      {
        std::lock_guard<std::mutex> lock(s.playerLock);
        ModulePlayerRender(s.player, piece.data(), n);
      }
      MixerMusicWrite(at, piece.data(), n);
      at = (at + static_cast<uint32_t>(n) * 4) % kMusicStreamBytes;
      frames -= n;
    }
    lastWrite = target;
  }
  std::lock_guard<std::mutex> lock(s.threadLock);
  s.threadDone = true;
  s.finished.notify_all();
}

void StopThread(MusicState& s) {
  std::unique_lock<std::mutex> lock(s.threadLock);
  if (!s.thread.joinable()) return;
  ++s.generation;
  s.wake.notify_all();
  const bool done =
      s.finished.wait_for(lock, std::chrono::seconds(1), [&] { return s.threadDone; });
  std::thread t = std::move(s.thread);
  lock.unlock();
  if (done) {
    t.join();
  } else {
    t.detach();  // stuck past the deadline; it stops at its next wake
  }
}

}  // namespace

int32_t MusicCatch(std::span<const uint8_t> data) {
  MusicState& s = State();
  StopThread(s);
  {
    std::lock_guard<std::mutex> lock(s.playerLock);
    s.player = ModulePlayer{};
  }
  ModuleData module;
  if (!ModuleLoad(data, &module)) return 0;
  {
    std::lock_guard<std::mutex> lock(s.playerLock);
    ModulePlayerInit(s.player, std::move(module));
  }
  if (!s.attached) {
    if (!MixerMusicAttach()) {
      std::lock_guard<std::mutex> lock(s.playerLock);
      s.player = ModulePlayer{};
      return 0;
    }
    s.attached = true;
  }
  std::lock_guard<std::mutex> lock(s.threadLock);
  s.threadDone = false;
  s.thread = std::thread(OutputThread, s.generation);
  return 1;
}

int32_t MusicPlay(int32_t order) {
  MusicState& s = State();
  std::lock_guard<std::mutex> lock(s.playerLock);
  if (!s.player.loaded || s.player.playing) return 0;
  ModulePlayerPlay(s.player, order);
  return 1;
}

void MusicStop() {
  MusicState& s = State();
  std::lock_guard<std::mutex> lock(s.playerLock);
  ModulePlayerStop(s.player);
}

void MusicVolume(int32_t level) {
  MusicState& s = State();
  std::lock_guard<std::mutex> lock(s.playerLock);
  ModulePlayerVolume(s.player, level);
}

void MusicEnd() {
  MusicState& s = State();
  StopThread(s);
  if (s.attached) {
    MixerMusicDetach();
    s.attached = false;
  }
  std::lock_guard<std::mutex> lock(s.playerLock);
  s.player = ModulePlayer{};
}
