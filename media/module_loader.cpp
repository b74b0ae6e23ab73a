// Reads a module in the "MXM" layout into our own structures. Every field is
// checked against the data before it is used: nothing outside the data is
// read, and a module that does not hold together is refused as a whole.

#include <algorithm>
#include <cstring>

#include "media/module_player.h"

namespace {

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}
  size_t size() const { return data_.size(); }
  bool Has(uint64_t offset, uint64_t bytes) const {
    return offset <= data_.size() && bytes <= data_.size() - offset;
  }
  // Callers check Has() first.
  uint8_t U8(uint64_t at) const { return data_[at]; }
  uint16_t U16(uint64_t at) const {
    return static_cast<uint16_t>(data_[at] | (data_[at + 1] << 8));
  }
  uint32_t U32(uint64_t at) const {
    return static_cast<uint32_t>(data_[at]) | (static_cast<uint32_t>(data_[at + 1]) << 8) |
           (static_cast<uint32_t>(data_[at + 2]) << 16) |
           (static_cast<uint32_t>(data_[at + 3]) << 24);
  }

 private:
  std::span<const uint8_t> data_;
};

struct SampleArea {
  uint64_t start = 0;     // offset of the sample data in the module
  uint64_t bytes8 = 0;    // 8-bit values
  uint64_t values16 = 0;  // 16-bit values after them
};

bool ReadEnvelope(const Reader& r, uint64_t at, ModuleEnvelope* env) {
  env->last = r.U8(at);
  env->sustain = r.U8(at + 1);
  env->loopStart = r.U8(at + 2);
  env->loopEnd = r.U8(at + 3);
  if (env->last >= kModuleEnvelopePoints) return false;
  for (uint8_t index : {env->sustain, env->loopStart, env->loopEnd}) {
    if (index != 255 && index > env->last) return false;
  }
  // A loop needs both of its ends.
  if (env->loopEnd != 255 && env->loopStart == 255) return false;
  for (int i = 0; i < kModuleEnvelopePoints; ++i) {
    env->length[i] = r.U16(at + 4 + i * 4);
    env->value[i] = std::min<uint8_t>(r.U8(at + 6 + i * 4), 64);
  }
  return true;
}

bool ReadSample(const Reader& r, uint64_t at, const SampleArea& area, ModuleSample* s) {
  s->loopStart = r.U32(at);
  s->end = r.U32(at + 4);
  s->flags = r.U8(at + 8);
  s->volume = std::min<uint8_t>(r.U8(at + 9), 64);
  s->panning = r.U8(at + 10);
  s->pitch = static_cast<int16_t>(r.U16(at + 11));
  const uint32_t number = r.U16(at + 13);
  if (number >= 2048) return false;
  s->loop = (s->flags & 0x10) ? kLoopPingPong : (s->flags & 0x08) ? kLoopForward : kLoopNone;
  if (s->loop != kLoopNone && s->loopStart >= s->end) return false;
  const uint64_t offset = r.U32(1872 + number * 4);
  if (s->end == 0) {
    s->loop = kLoopNone;
    s->data = 0;
    return true;
  }
  if (offset < area.start) return false;
  const uint64_t rel = offset - area.start;
  if (s->flags & 0x04) {
    if (rel < area.bytes8 || (rel - area.bytes8) % 2 != 0) return false;
    const uint64_t first = (rel - area.bytes8) / 2;
    if (first > area.values16 || s->end > area.values16 - first) return false;
    s->data = static_cast<uint32_t>(area.bytes8 + first);
  } else {
    if (rel > area.bytes8 || s->end > area.bytes8 - rel) return false;
    s->data = static_cast<uint32_t>(rel);
  }
  return true;
}

bool ReadInstrument(const Reader& r, uint64_t at, const SampleArea& area, ModuleInstrument* ins) {
  if (!r.Has(at, 256)) return false;
  const uint32_t count = r.U32(at);
  if (!r.Has(at + 256, static_cast<uint64_t>(count) * 16)) return false;
  for (int i = 0; i < 96; ++i) ins->keymap[i] = r.U8(at + 4 + i);
  ins->fadeout = r.U16(at + 100);
  ins->vibratoType = r.U8(at + 102);
  ins->vibratoSweep = r.U8(at + 103);
  ins->vibratoDepth = r.U8(at + 104);
  ins->vibratoRate = r.U8(at + 105);
  if (ins->vibratoType > 3) return false;
  if (!ReadEnvelope(r, at + 106, &ins->volume)) return false;
  if (!ReadEnvelope(r, at + 158, &ins->panning)) return false;
  ins->samples.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (!ReadSample(r, at + 256 + i * 16ull, area, &ins->samples[i])) return false;
  }
  return true;
}

bool ReadPattern(const Reader& r, uint64_t at, int channels, ModulePattern* pat) {
  if (!r.Has(at, 4)) return false;
  const uint32_t rows = r.U32(at);
  // Every row takes at least its end byte, so the data bounds the row count.
  if (rows == 0 || rows > r.size() - at - 4) return false;
  pat->rows = rows;
  pat->rowStart.reserve(rows + 1);
  uint64_t p = at + 4;
  for (uint32_t row = 0; row < rows; ++row) {
    pat->rowStart.push_back(static_cast<uint32_t>(pat->cells.size()));
    int lastChannel = -1;
    for (;;) {
      if (!r.Has(p, 1)) return false;
      const uint8_t head = r.U8(p++);
      if (head == 0) break;
      ModuleCell cell;
      cell.channel = head & 0x1F;
      cell.what = head & 0xE0;
      if (cell.channel >= channels || cell.channel <= lastChannel) return false;
      lastChannel = cell.channel;
      if (head & 0x20) {
        if (!r.Has(p, 2)) return false;
        cell.note = r.U8(p);
        cell.instrument = r.U8(p + 1);
        p += 2;
        if (cell.note > kModuleKeyOffNote) return false;
      }
      if (head & 0x40) {
        if (!r.Has(p, 1)) return false;
        cell.volume = r.U8(p++);
      }
      if (head & 0x80) {
        if (!r.Has(p, 2)) return false;
        cell.effect = r.U8(p);
        cell.param = r.U8(p + 1);
        p += 2;
      }
      pat->cells.push_back(cell);
    }
  }
  pat->rowStart.push_back(static_cast<uint32_t>(pat->cells.size()));
  return true;
}

}  // namespace

bool ModuleLoad(std::span<const uint8_t> data, ModuleData* out) {
  Reader r(data);
  if (!r.Has(0, kModuleHeaderBytes)) return false;
  if (std::memcmp(data.data(), "MXM\0", 4) != 0) return false;
  ModuleData m;
  const uint32_t orderCount = r.U32(4);
  const uint32_t restart = r.U32(8);
  const uint32_t channels = r.U32(12);
  const uint32_t patternCount = r.U32(16);
  const uint32_t instrumentCount = r.U32(20);
  if (orderCount < 1 || orderCount > 256 || restart >= orderCount) return false;
  if (channels < 1 || channels > 32) return false;
  if (patternCount < 1 || patternCount > 256 || instrumentCount > 128) return false;
  m.orderCount = static_cast<int>(orderCount);
  m.restart = static_cast<int>(restart);
  m.channels = static_cast<int>(channels);
  m.patternCount = static_cast<int>(patternCount);
  m.instrumentCount = static_cast<int>(instrumentCount);
  m.speed = r.U8(24);
  m.tempo = r.U8(25);
  if (m.speed == 0 || m.tempo == 0) return false;
  m.flags = r.U16(26);
  m.lowPeriod = static_cast<int32_t>(r.U32(40));
  m.highPeriod = static_cast<int32_t>(r.U32(44));
  // Periods must stay within what the step conversion covers.
  if (m.lowPeriod < -32768 || m.highPeriod > 32767 || m.lowPeriod > m.highPeriod) return false;
  for (int i = 0; i < 32; ++i) m.panning[i] = r.U8(48 + i);
  for (int i = 0; i < 256; ++i) m.orders[i] = r.U8(80 + i);
  for (int i = 0; i < m.orderCount; ++i) {
    if (m.orders[i] >= m.patternCount) return false;
  }

  SampleArea area;
  area.start = r.U32(28);
  area.bytes8 = r.U32(32);
  area.values16 = r.U32(36);
  if (!r.Has(area.start, area.bytes8 + area.values16 * 2)) return false;

  m.instruments.resize(m.instrumentCount);
  for (int i = 0; i < m.instrumentCount; ++i) {
    const uint32_t at = r.U32(336 + i * 4);
    if (at == 0) continue;  // no instrument: it has no samples
    if (!ReadInstrument(r, at, area, &m.instruments[i])) return false;
  }
  m.patterns.resize(m.patternCount);
  for (int i = 0; i < m.patternCount; ++i) {
    if (!ReadPattern(r, r.U32(848 + i * 4), m.channels, &m.patterns[i])) return false;
  }

  // Sample data as 16-bit values; delta-coded data is a running sum.
  m.pool.resize(area.bytes8 + area.values16 + 2, 0);
  const bool delta = (m.flags & kModuleFlagDeltaSamples) != 0;
  uint8_t sum8 = 0;
  for (uint64_t i = 0; i < area.bytes8; ++i) {
    uint8_t v = r.U8(area.start + i);
    if (delta) v = sum8 = static_cast<uint8_t>(sum8 + v);
    m.pool[i] = static_cast<int16_t>(static_cast<int8_t>(v) * 256);
  }
  uint16_t sum16 = 0;
  for (uint64_t i = 0; i < area.values16; ++i) {
    uint16_t v = r.U16(area.start + area.bytes8 + i * 2);
    if (delta) v = sum16 = static_cast<uint16_t>(sum16 + v);
    m.pool[area.bytes8 + i] = static_cast<int16_t>(v);
  }
  m.flags &= ~kModuleFlagDeltaSamples;
  *out = std::move(m);
  return true;
}
