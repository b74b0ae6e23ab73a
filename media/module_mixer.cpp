// Rendering: ticks at the tempo's pace, and the voices mixed between them
// with linear interpolation, loops and panning, in 32-bit integers.

#include <algorithm>

#include "media/module_player.h"

namespace {

// Puts the position back inside the part of the sample that plays next, or
// stops the voice at the end of an unlooped sample.
bool Normalize(ModuleChannel& c, const ModuleSample& s) {
  const int64_t start = static_cast<int64_t>(s.loopStart) << 32;
  const int64_t end = static_cast<int64_t>(s.end) << 32;
  if (c.direction > 0 ? c.position < end : c.position >= start) return true;
  switch (s.loop) {
    case kLoopNone:
      return false;
    case kLoopForward:
      c.position = start + (c.position - start) % (end - start);
      c.direction = 1;
      return true;
    case kLoopPingPong: {
      // Unfold the bounce into one forward run of twice the loop length.
      const int64_t len = end - start;
      const int64_t u = c.direction > 0 ? c.position - start : 2 * len - (c.position - start);
      int64_t m = u % (2 * len);
      if (m < 0) m += 2 * len;
      if (m < len) {
        c.position = start + m;
        c.direction = 1;
      } else {
        c.position = start + 2 * len - m;
        c.direction = -1;
      }
      return true;
    }
  }
  return false;
}

void MixVoice(const int16_t* pool, ModuleChannel& c, int32_t* mix, int frames) {
  const ModuleSample& s = *c.sample;
  if (c.offsetPending) {
    c.position = static_cast<int64_t>(c.offset) << 32;
    c.direction = 1;
    c.offsetPending = false;
  }
  const int32_t volL = c.mixVolume * (255 - c.mixPanning);
  const int32_t volR = c.mixVolume * c.mixPanning;
  const int64_t inc = static_cast<int64_t>(c.step) << 22;
  const int16_t* data = pool + s.data;
  int done = 0;
  while (done < frames) {
    if (!Normalize(c, s)) {
      c.active = false;
      return;
    }
    const int left = frames - done;
    int64_t run = left;
    if (inc > 0) {
      run = c.direction > 0 ? ((static_cast<int64_t>(s.end) << 32) - c.position + inc - 1) / inc
                            : (c.position - (static_cast<int64_t>(s.loopStart) << 32)) / inc + 1;
      run = std::min<int64_t>(run, left);
    }
    const int64_t delta = c.direction > 0 ? inc : -inc;
    int64_t pos = c.position;
    int32_t* out = mix + 2 * done;
    for (int64_t i = 0; i < run; ++i) {
      const int16_t* at = data + (pos >> 32);
      const int32_t a = at[0];
      const int32_t frac = static_cast<int32_t>((pos >> 16) & 0xFFFF);
      const int32_t v = a + static_cast<int32_t>((static_cast<int64_t>(at[1] - a) * frac) >> 16);
      out[0] += (v * volL) >> 16;
      out[1] += (v * volR) >> 16;
      out += 2;
      pos += delta;
    }
    c.position = pos;
    done += static_cast<int>(run);
  }
}

}  // namespace

int16_t ModuleClip(int32_t value) {
  return static_cast<int16_t>(std::clamp(value, -32500, 32500));
}

void ModulePlayerMix(ModulePlayer& p, int32_t* mixed, int frames) {
  std::fill(mixed, mixed + 2 * static_cast<size_t>(frames), 0);
  if (!p.playing) return;
  const int16_t* pool = p.module.pool.data();
  int done = 0;
  while (done < frames) {
    if (p.accumulator < 256) {
      ModulePlayerTick(p);
      p.accumulator += 28224000 / p.tempo;
    }
    const int n = std::min(p.accumulator / 256, frames - done);
    for (int i = 0; i < p.module.channels; ++i) {
      ModuleChannel& c = p.channels[i];
      if (c.active && c.sample != nullptr) MixVoice(pool, c, mixed + 2 * done, n);
    }
    p.accumulator -= n * 256;
    done += n;
  }
}

void ModulePlayerRender(ModulePlayer& p, int16_t* out, int frames) {
  if (p.mix.size() < kModuleMixFrames * 2) p.mix.assign(kModuleMixFrames * 2, 0);
  while (frames > 0) {
    const int n = std::min(frames, kModuleMixFrames);
    ModulePlayerMix(p, p.mix.data(), n);
    for (int i = 0; i < 2 * n; ++i) out[i] = ModuleClip(p.mix[i]);
    out += 2 * n;
    frames -= n;
  }
}
