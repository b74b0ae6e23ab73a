#include "host/host_replay.h"

#include "game/passes.h"
#include "host/host_match.h"
#include "media/display.h"
#include "runtime/command_line.h"
#include "runtime/frame.h"

namespace host {
namespace {

game::PlayerKeys KeysOf(const netplay::NetKeys& keys) {
  game::PlayerKeys k;
  k.turnLeft = keys.leftHeld;
  k.turnRight = keys.rightHeld;
  k.fireHeld = keys.spaceHeld;
  k.fireReleased = keys.spaceReleased;
  return k;
}

netplay::NetKeys NetKeysOf(const game::PlayerKeys& k) {
  netplay::NetKeys keys;
  keys.leftHeld = k.turnLeft;
  keys.rightHeld = k.turnRight;
  keys.spaceHeld = k.fireHeld;
  keys.spaceReleased = k.fireReleased;
  return keys;
}

}  // namespace

void HostReplayBegin(HostSession& s, uint32_t nowMs) {
  if (!s.recordReplay) return;
  game::Replay r;
  r.kind = game::ReplayKind::Host;
  r.version = ProgramVersion();
  r.name1 = s.playerName;
  r.name2 = s.opponentName;
  const RandomState random = RandomSave();
  r.random.words = random.words;
  r.random.p1 = random.p1;
  r.random.p2 = random.p2;
  r.cloudOffset = s.match.cloudOffset;
  s.recorder.Begin(r, "skirmora-host", nowMs);
}

void HostReplayFrame(HostSession& s, const netplay::NetKeys& keys, uint32_t nowMs) {
  if (!s.recorder.Recording()) return;
  game::ReplayFrame f;
  f.keys[0] = KeysOf(keys);
  f.quit = keys.escReleased;
  f.bytes = s.bytesThisFrame;
  f.roundTripMs = s.roundTripMs;
  f.client = s.clientInputs;
  s.recorder.Frame(f, nowMs);
  if (f.quit) s.recorder.End();
}

void HostReplayStart(HostSession& s, const game::Replay& r) {
  s.playerName = r.name1;
  s.opponentName = r.name2;
  HostMatchBegin(s);
  RandomState random;
  random.words = r.random.words;
  random.p1 = r.random.p1;
  random.p2 = r.random.p2;
  RandomRestore(random);
  s.match.cloudOffset = r.cloudOffset;
}

void HostReplayShowFrame(HostSession& s, const game::ReplayFrame& f, game::MatchEffects& effects) {
  ScreenClear(170, 200, 255);
  HostMatchRules(s.match, NetKeysOf(f.keys[0]), f.client, effects);
  s.bytesThisFrame = f.bytes;
  s.roundTripMs = f.roundTripMs;
  HostMatchDraw(s, effects);
}

void HostReplayMain(HostSession& s, const game::Replay& replay,
                    const netplay::NetplayOptions& options) {
  if (!netplay::NetplayChecks()) return;
  // Full screen or a window as for a match; the keys play no part.
  netplay::NetplaySettings settings = netplay::NetplayReadSettings(options.program);
  if (options.fullscreen >= 0) settings.fullscreen = options.fullscreen;
  netplay::NetplayOpenScreen(settings.fullscreen != 0);
  HostReplayStart(s, replay);
  for (const game::ReplayFrame& f : replay.frames) {
    if (netplay::NetKeysPoll().escReleased) return;
    HostReplayShowFrame(s, f, game::MediaEffects());
    ScreenFlip();
    if (f.quit) return;
  }
}

}  // namespace host
