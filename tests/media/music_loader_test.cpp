// Loading modules: the checks that refuse malformed data, delta decoding and
// the period-to-step conversion.

#include <gtest/gtest.h>

#include "media/module_player.h"
#include "tests/media/music_test_builder.h"

namespace {

using musictest::Build;
using musictest::Module;

Module OneNoteModule() {
  Module m;
  m.instruments.push_back(musictest::SquareInstrument());
  m.patterns[0].rows = 2;
  m.patterns[0].cells.push_back({0, 1, 49, 1});
  return m;
}

bool Loads(const std::vector<uint8_t>& bytes) {
  ModuleData d;
  return ModuleLoad(bytes, &d);
}

TEST(MusicLoader, ReadsAWellFormedModule) {
  Module m = OneNoteModule();
  m.channels = 3;
  m.speed = 3;
  m.tempo = 128;
  m.panning[2] = 200;
  ModuleData d;
  ASSERT_TRUE(ModuleLoad(Build(m), &d));
  EXPECT_EQ(d.channels, 3);
  EXPECT_EQ(d.speed, 3);
  EXPECT_EQ(d.tempo, 128);
  EXPECT_EQ(d.panning[2], 200);
  ASSERT_EQ(d.patterns.size(), 1u);
  EXPECT_EQ(d.patterns[0].rows, 2u);
  ASSERT_EQ(d.patterns[0].cells.size(), 1u);
  EXPECT_EQ(d.patterns[0].cells[0].channel, 1);
  EXPECT_EQ(d.patterns[0].cells[0].note, 49);
  ASSERT_EQ(d.instruments.size(), 1u);
  EXPECT_EQ(d.instruments[0].samples[0].loop, kLoopForward);
  EXPECT_EQ(d.pool[d.instruments[0].samples[0].data], 100 * 256);
}

TEST(MusicLoader, DecodesDeltaCodedSamplesOfBothWidths) {
  Module m = OneNoteModule();
  m.flags = 5;
  musictest::Sample s8;
  s8.data = {10, -20, 127, -128, 0, 5};
  musictest::Sample s16;
  s16.sixteen = true;
  s16.data = {1000, -30000, 32767, -32768, 7};
  m.instruments[0].samples = {s8, s16};
  std::vector<uint8_t> bytes = Build(m);
  ModuleData d;
  ASSERT_TRUE(ModuleLoad(bytes, &d));
  EXPECT_EQ(d.flags & kModuleFlagDeltaSamples, 0);
  const ModuleSample a = d.instruments[0].samples[0];
  const ModuleSample b = d.instruments[0].samples[1];
  for (size_t i = 0; i < s8.data.size(); ++i) EXPECT_EQ(d.pool[a.data + i], s8.data[i] * 256);
  for (size_t i = 0; i < s16.data.size(); ++i) EXPECT_EQ(d.pool[b.data + i], s16.data[i]);
  // The same module without the delta flag reads the stored bytes as they are.
  bytes[26] = 1;
  ASSERT_TRUE(ModuleLoad(bytes, &d));
  EXPECT_NE(d.pool[a.data + 1], s8.data[1] * 256);
}

TEST(MusicLoader, RefusesEveryTruncation) {
  const std::vector<uint8_t> bytes = Build(OneNoteModule());
  ASSERT_TRUE(Loads(bytes));
  for (size_t n = 0; n < bytes.size(); n += (n < 10064 ? 97 : 1)) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
    EXPECT_FALSE(Loads(cut)) << n;
  }
}

TEST(MusicLoader, RefusesBrokenFields) {
  const std::vector<uint8_t> good = Build(OneNoteModule());
  auto broken = [&](auto change) {
    std::vector<uint8_t> b = good;
    change(b);
    return !Loads(b);
  };
  using musictest::Put32;
  EXPECT_TRUE(broken([](auto& b) { b[3] = 'X'; }));              // magic
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 4, 0); }));          // no orders
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 8, 1); }));          // restart beyond orders
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 12, 33); }));        // channels
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 12, 1); }));         // entry on channel 1
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 20, 129); }));       // instruments
  EXPECT_TRUE(broken([](auto& b) { b[80] = 1; }));               // order names pattern 1
  EXPECT_TRUE(broken([](auto& b) { b[25] = 0; }));               // tempo 0
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 40, 40000); }));     // lowest above highest
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 32, 1 << 30); }));   // sample area past the end
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 848, 1 << 30); }));  // pattern offset
  EXPECT_TRUE(broken([](auto& b) { Put32(b, 336, 1 << 30); }));  // instrument offset
  const uint32_t ins = good[336] | good[337] << 8 | good[338] << 16;
  EXPECT_TRUE(broken([&](auto& b) { Put32(b, ins, 1000); }));      // sample count
  EXPECT_TRUE(broken([&](auto& b) { b[ins + 106] = 12; }));        // envelope last point
  EXPECT_TRUE(broken([&](auto& b) { b[ins + 107] = 1; }));         // sustain beyond last
  EXPECT_TRUE(broken([&](auto& b) { b[ins + 109] = 0; }));         // loop end without start
  EXPECT_TRUE(broken([&](auto& b) { b[ins + 102] = 4; }));         // vibrato waveform
  EXPECT_TRUE(broken([&](auto& b) { Put32(b, ins + 256, 32); }));  // loop start at end
  EXPECT_TRUE(broken([&](auto& b) { Put32(b, ins + 260, 33); }));  // sample past its area
  EXPECT_TRUE(broken([&](auto& b) { b[ins + 264] |= 0x04; }));     // 8-bit data read as 16-bit
  EXPECT_TRUE(broken([&](auto& b) { b[ins + 270] = 0x08; }));      // sample number 2048
  const uint32_t pat = good[848] | good[849] << 8 | good[850] << 16;
  EXPECT_TRUE(broken([&](auto& b) { b[pat + 5] = 98; }));   // note beyond key-off
  EXPECT_TRUE(broken([&](auto& b) { Put32(b, pat, 0); }));  // no rows
  // Still loadable: an unused instrument slot and a loud default volume.
  EXPECT_FALSE(broken([&](auto& b) { b[ins + 265] = 200; }));
}

TEST(MusicLoader, StepTablesAndPeriodConversion) {
  EXPECT_EQ(ModuleStepTable(3)[0], 11131415);
  EXPECT_EQ(ModuleStepTable(3)[8], 6848);
  EXPECT_EQ(ModuleStepTable(3)[15], 11);
  EXPECT_EQ(ModuleStepTable(0)[0], 32768);
  EXPECT_EQ(ModuleStepTable(1)[12], 31379);  // 32768 x 2^(-192/3072)
  EXPECT_EQ(ModuleStepTable(2)[12], 16384);  // one octave
  EXPECT_EQ(ModuleStepFromPeriod(0), 194);
  EXPECT_EQ(ModuleStepFromPeriod(-32768), (11131415 * 14 / 494) & ~1);
  // One octave up doubles the step (within the truncations); the lowest bit is
  // always clear; lower periods never give lower steps.
  EXPECT_NEAR(ModuleStepFromPeriod(-3072), 388, 2);
  int32_t prev = ModuleStepFromPeriod(-32768);
  for (int32_t p = -32768; p <= 32767; p += 37) {
    const int32_t s = ModuleStepFromPeriod(p);
    EXPECT_EQ(s & 1, 0);
    EXPECT_LE(s, prev);
    prev = s;
  }
}

TEST(MusicLoader, WaveTables) {
  std::array<std::array<int16_t, 256>, 4> w{};
  ModuleBuildWaves(w);
  EXPECT_EQ(w[0][0], 0);
  EXPECT_EQ(w[0][64], 64);
  EXPECT_EQ(w[0][192], -64);
  // Ramp: c = signed (256 - k); halves toward minus infinity.
  EXPECT_EQ(w[1][0], 0);
  EXPECT_EQ(w[1][1], 1);      // c = -1 -> -1/2 = -1 -> 1
  EXPECT_EQ(w[1][255], 0);    // c = 1 -> 0
  EXPECT_EQ(w[1][128], 64);   // c = -128
  EXPECT_EQ(w[1][129], -63);  // c = 127
  EXPECT_EQ(w[3][1], -1);
  EXPECT_EQ(w[2][0], -64);
  EXPECT_EQ(w[2][128], 64);
  EXPECT_EQ(w[2][129], -64);
}

}  // namespace
