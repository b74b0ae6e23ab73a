// Loads and renders mutated modules. Input starting with the module magic is
// loaded as it is; anything else is a list of (offset, byte) patches applied
// to a small valid module built here, which reaches far deeper into the
// loader and the player than random bytes would.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/module_player.h"
#include "tests/media/music_test_builder.h"

namespace {

std::vector<uint8_t> BaseModule() {
  musictest::Module m;
  m.channels = 3;
  m.speed = 2;
  m.orders = {0, 1, 0};
  m.restart = 1;
  m.instruments.push_back(musictest::SquareInstrument(16, 90));
  musictest::Instrument drum;
  musictest::Sample s;
  s.sixteen = true;
  for (int i = 0; i < 300; ++i) s.data.push_back(static_cast<int16_t>((i * 7919) % 20000 - 10000));
  s.loop = 2;
  s.loopStart = 100;
  drum.samples.push_back(s);
  drum.fadeout = 500;
  drum.volume.points = {{3, 64}, {5, 20}, {2, 40}};
  drum.volume.sustain = 1;
  drum.volume.loopStart = 1;
  drum.volume.loopEnd = 2;
  drum.panning.points = {{4, 0}, {4, 64}};
  drum.vibratoDepth = 8;
  drum.vibratoRate = 20;
  drum.vibratoSweep = 3;
  m.instruments.push_back(drum);
  musictest::Pattern a;
  a.rows = 4;
  a.cells = {{0, 0, 49, 1, 0x30, 0, 0x37},  {0, 1, 61, 2, -1, 4, 0x44},
             {1, 2, 55, 1, 0x65, 27, 0x32}, {2, 0, 97, 0, -1, 42, 1},
             {3, 1, 50, 0, 0xF3, 3, 0x10},  {3, 2, 49, 2, -1, 49, 1}};
  musictest::Pattern b;
  b.rows = 3;
  b.cells = {{0, 0, 49, 2, -1, 9, 1}, {1, 1, 30, 1, -1, 29, 0x21}, {2, 2, -1, -1, 0xB4, 13, 0x01}};
  m.patterns = {a, b};
  return musictest::Build(m);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> base = BaseModule();
  std::vector<uint8_t> bytes;
  if (size >= 4 && data[0] == 'M' && data[1] == 'X' && data[2] == 'M' && data[3] == 0) {
    bytes.assign(data, data + size);
  } else {
    bytes = base;
    for (size_t i = 0; i + 3 <= size; i += 3) {
      const size_t at = (static_cast<size_t>(data[i]) << 8 | data[i + 1]) * 7 % bytes.size();
      bytes[at] = data[i + 2];
    }
  }
  ModuleData module;
  if (!ModuleLoad(bytes, &module)) return 0;
  auto player = std::make_unique<ModulePlayer>();
  ModulePlayerInit(*player, std::move(module));
  ModulePlayerPlay(*player, size > 0 ? data[0] % 4 : 0);
  ModulePlayerVolume(*player, 100);
  std::vector<int16_t> out(2 * 4000);
  for (int i = 0; i < 5; ++i) ModulePlayerRender(*player, out.data(), 4000);
  return 0;
}
