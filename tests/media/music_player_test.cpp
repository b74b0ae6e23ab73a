// The player's timing and effects, driven tick by tick on small modules.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "media/module_player.h"
#include "tests/media/music_test_builder.h"

namespace {

using musictest::Cell;
using musictest::Module;

struct Rig {
  std::unique_ptr<ModulePlayer> player = std::make_unique<ModulePlayer>();
  ModulePlayer& p = *player;
  explicit Rig(const Module& m) {
    ModuleData d;
    EXPECT_TRUE(ModuleLoad(musictest::Build(m), &d));
    ModulePlayerInit(p, std::move(d));
    ModulePlayerPlay(p, 0);
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) ModulePlayerTick(p);
  }
  ModuleChannel& Ch(int i) { return p.channels[i]; }
};

Module WithSquare(int rows, std::vector<Cell> cells, int speed = 6) {
  Module m;
  m.speed = speed;
  m.instruments.push_back(musictest::SquareInstrument());
  m.patterns[0].rows = rows;
  m.patterns[0].cells = std::move(cells);
  return m;
}

TEST(MusicPlayer, MasterVolumeFromLevel) {
  Rig r(WithSquare(1, {{0, 0, 49, 1}}));
  const std::pair<int, int> cases[] = {{100, 64}, {50, 32},  {1, 0}, {0, 0},
                                       {99, 63},  {150, 64}, {-5, 0}};
  for (auto [level, master] : cases) {
    ModulePlayerVolume(r.p, level);
    EXPECT_EQ(r.p.master, master) << level;
  }
  // Heard: half the master volume gives half the level.
  auto peak = [&](int level) {
    Rig q(WithSquare(1, {{0, 0, 49, 1}}));
    ModulePlayerVolume(q.p, level);
    std::vector<int16_t> out(2 * 2000);
    ModulePlayerRender(q.p, out.data(), 2000);
    return *std::max_element(out.begin(), out.end());
  };
  EXPECT_GT(peak(100), 1000);
  EXPECT_NEAR(peak(50) * 2, peak(100), 200);
  EXPECT_EQ(peak(0), 0);
}

TEST(MusicPlayer, PlayWhilePlayingDoesNothingAndStopSilences) {
  Rig r(WithSquare(8, {{0, 0, 49, 1}}, 1));
  r.Tick(3);
  EXPECT_EQ(r.p.row, 2);
  ModulePlayerPlay(r.p, 0);
  EXPECT_EQ(r.p.row, 2);
  EXPECT_EQ(r.p.jumpOrder, -1);
  r.Tick();
  EXPECT_EQ(r.p.row, 3);
  ModulePlayerStop(r.p);
  std::vector<int16_t> out(2 * 500, 1);
  ModulePlayerRender(r.p, out.data(), 500);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t v) { return v == 0; }));
  // After a stop, play starts again from the order asked for.
  ModulePlayerPlay(r.p, 0);
  r.Tick();
  EXPECT_EQ(r.p.row, 0);
}

TEST(MusicPlayer, OrderCountWrapsToRestartPosition) {
  Module m = WithSquare(1, {}, 1);
  m.patterns = {musictest::Pattern{}, musictest::Pattern{}, musictest::Pattern{}};
  m.orders = {0, 2, 1};
  m.restart = 1;
  Rig r(m);
  std::vector<int> orders;
  for (int i = 0; i < 6; ++i) {
    r.Tick();
    orders.push_back(r.p.order);
  }
  EXPECT_EQ(orders, (std::vector<int>{0, 1, 2, 1, 2, 1}));
}

TEST(MusicPlayer, OutputIsLimitedTo32500) {
  EXPECT_EQ(ModuleClip(40000), 32500);
  EXPECT_EQ(ModuleClip(-40000), -32500);
  EXPECT_EQ(ModuleClip(32499), 32499);
  // Three full-volume channels panned hard left sum to about 48,500.
  Module m = WithSquare(1, {{0, 0, 49, 1}, {0, 1, 49, 1}, {0, 2, 49, 1}});
  m.instruments[0] = musictest::SquareInstrument(32, 127);
  m.instruments[0].samples[0].panning = 0;
  Rig r(m);
  std::vector<int32_t> mixed(2 * 1000);
  ModulePlayerMix(r.p, mixed.data(), 1000);
  EXPECT_GT(*std::max_element(mixed.begin(), mixed.end()), 40000);
  Rig q(m);
  std::vector<int16_t> out(2 * 1000);
  ModulePlayerRender(q.p, out.data(), 1000);
  int16_t hi = 0, lo = 0, right = 0;
  for (int i = 0; i < 1000; ++i) {
    hi = std::max(hi, out[2 * i]);
    lo = std::min(lo, out[2 * i]);
    right = std::max<int16_t>(right, static_cast<int16_t>(std::abs(out[2 * i + 1])));
  }
  EXPECT_EQ(hi, 32500);
  EXPECT_EQ(lo, -32500);
  EXPECT_EQ(right, 0);
}

TEST(MusicPlayer, VolumeSlideSkipsTheRowTick) {
  Rig r(WithSquare(2, {{0, 0, 49, 1, 0x10 + 40, 10, 0x0F}, {0, 1, 49, 1, 0x10 + 60, 10, 0x30}}, 4));
  r.Tick();
  EXPECT_EQ(r.Ch(0).volume, 40);
  EXPECT_EQ(r.Ch(1).volume, 60);
  r.Tick();
  EXPECT_EQ(r.Ch(0).volume, 25);
  EXPECT_EQ(r.Ch(1).volume, 63);
  r.Tick();
  EXPECT_EQ(r.Ch(0).volume, 10);
  EXPECT_EQ(r.Ch(1).volume, 64);
  r.Tick();
  EXPECT_EQ(r.Ch(0).volume, 0);
  r.Tick();  // next row, no effect
  EXPECT_EQ(r.Ch(0).volume, 0);
  EXPECT_EQ(r.Ch(1).volume, 64);
}

TEST(MusicPlayer, PatternBreakAndPositionJump) {
  Module m = WithSquare(4, {{0, 0, -1, -1, -1, 13, 0x25}}, 1);
  musictest::Pattern second;
  second.rows = 40;
  second.cells = {{30, 0, -1, -1, -1, 11, 0}, {30, 1, -1, -1, -1, 13, 0x02}};
  m.patterns.push_back(second);
  m.orders = {0, 1};
  Rig r(m);
  r.Tick();
  EXPECT_EQ(r.p.order, 0);
  r.Tick();
  EXPECT_EQ(r.p.order, 1);
  EXPECT_EQ(r.p.row, 25);
  r.Tick(5);
  EXPECT_EQ(r.p.row, 30);
  r.Tick();  // the jump to order 0 keeps the break's row
  EXPECT_EQ(r.p.order, 0);
  EXPECT_EQ(r.p.row, 2);
}

TEST(MusicPlayer, SpeedAndTempo) {
  Rig r(WithSquare(
      3, {{0, 0, -1, -1, -1, 15, 0}, {1, 0, -1, -1, -1, 15, 0x1F}, {2, 0, -1, -1, -1, 15, 0x20}},
      2));
  r.Tick();
  EXPECT_EQ(r.p.speed, 2);
  EXPECT_EQ(r.p.tempo, 125);
  r.Tick(2);
  EXPECT_EQ(r.p.row, 1);
  EXPECT_EQ(r.p.speed, 31);
  r.Tick(30);
  EXPECT_EQ(r.p.row, 1);
  r.Tick();
  EXPECT_EQ(r.p.row, 2);
  EXPECT_EQ(r.p.speed, 31);
  EXPECT_EQ(r.p.tempo, 32);
  // The next tick is 2.5 / 32 seconds later: 3445 frames.
  std::vector<int32_t> mixed(2 * 3445);
  ModulePlayerMix(r.p, mixed.data(), 3445);
  EXPECT_EQ(r.p.tick, 1);
  EXPECT_EQ(r.p.accumulator, 28224000 / 32 - 3445 * 256);
}

TEST(MusicPlayer, KeyOffFadesAnEnvelopedInstrumentAndCutsAPlainOne) {
  Module m = WithSquare(
      3, {{0, 0, 49, 1}, {0, 1, 49, 2}, {0, 2, 49, 2, -1, 20, 2}, {1, 0, 97, 0}, {1, 1, 97, 0}}, 8);
  m.instruments[0].volume.points = {{100, 64}, {0, 64}};
  m.instruments[0].fadeout = 4096;
  m.instruments.push_back(musictest::SquareInstrument());
  m.instruments[1].fadeout = 4096;
  Rig r(m);
  r.Tick();
  EXPECT_EQ(r.Ch(2).mixVolume, 128);
  r.Tick();
  EXPECT_EQ(r.Ch(2).mixVolume, 128);
  r.Tick();  // tick 2: the key-off effect cuts the plain instrument
  EXPECT_EQ(r.Ch(2).mixVolume, 0);
  r.Tick(6);  // row 1: key-off notes
  EXPECT_EQ(r.Ch(1).mixVolume, 0);
  EXPECT_FALSE(r.Ch(0).keyDown);
  int last = r.Ch(0).mixVolume;
  EXPECT_EQ(last, 128);
  for (int i = 1; i <= 7; ++i) {
    r.Tick();
    EXPECT_EQ(r.Ch(0).fadeout, 32768 - 4096 * (i + 1));
    EXPECT_LT(r.Ch(0).mixVolume, last);
    EXPECT_GT(r.Ch(0).mixVolume, 0);
    last = r.Ch(0).mixVolume;
  }
  r.Tick();
  EXPECT_EQ(r.Ch(0).mixVolume, 0);
}

TEST(MusicPlayer, EnvelopeHoldsAtSustainAndLoops) {
  Module m = WithSquare(2, {{0, 0, 49, 1}, {1, 0, 97, 0}}, 8);
  m.instruments[0].volume.points = {{4, 0}, {4, 64}, {2, 32}, {0, 0}};
  m.instruments[0].volume.sustain = 1;
  m.instruments[0].volume.loopStart = 1;
  m.instruments[0].volume.loopEnd = 3;
  Rig r(m);
  std::vector<int> v;
  for (int i = 0; i < 16; ++i) {
    r.Tick();
    v.push_back(r.Ch(0).mixVolume);
  }
  // Rises over 4 ticks, holds at the sustain point until the key-off on
  // tick 8, then runs 64 -> 32 -> 0 and loops from point 3 back to point 1.
  EXPECT_EQ(
      v, (std::vector<int>{0, 32, 64, 96, 128, 128, 128, 128, 128, 112, 96, 80, 64, 32, 128, 112}));
}

TEST(MusicPlayer, PatternLoop) {
  Rig r(WithSquare(5, {{0, 0, -1, -1, -1, 42, 0}, {2, 0, -1, -1, -1, 42, 2}}, 1));
  std::vector<int> rows;
  for (int i = 0; i < 12; ++i) {
    r.Tick();
    rows.push_back(r.p.row);
  }
  EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1, 2, 3, 4, 0}));
}

TEST(MusicPlayer, PatternDelayHoldsRows) {
  Rig r(WithSquare(3, {{0, 0, -1, -1, -1, 50, 2}}, 2));
  std::vector<int> rows;
  for (int i = 0; i < 10; ++i) {
    r.Tick();
    rows.push_back(r.p.row);
  }
  EXPECT_EQ(rows, (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 1, 2, 2}));
}

TEST(MusicPlayer, NoteDelayStartsLaterWithoutResettingVolume) {
  Rig r(WithSquare(1, {{0, 0, 49, 1, 0x10 + 32, 49, 3}}));
  r.Tick(3);
  EXPECT_FALSE(r.Ch(0).active);
  EXPECT_EQ(r.Ch(0).sample, nullptr);
  r.Tick();
  EXPECT_TRUE(r.Ch(0).active);
  EXPECT_EQ(r.Ch(0).volume, 32);
  EXPECT_EQ(r.Ch(0).fadeout, 32768);
  EXPECT_EQ(r.Ch(0).mixVolume, 64);
}

TEST(MusicPlayer, NoteCut) {
  Rig r(WithSquare(1, {{0, 0, 49, 1, -1, 48, 2}}));
  r.Tick(2);
  EXPECT_EQ(r.Ch(0).volume, 64);
  r.Tick();
  EXPECT_EQ(r.Ch(0).volume, 0);
  EXPECT_EQ(r.Ch(0).mixVolume, 0);
}

TEST(MusicPlayer, RetriggerRestartsTheSample) {
  Module m = WithSquare(1, {{0, 0, 49, 1, -1, 45, 2}, {0, 1, 49, 1, -1, 27, 0x71}});
  m.instruments[0].samples[0].data.assign(20000, 50);
  m.instruments[0].samples[0].loop = 0;
  Rig r(m);
  std::vector<int32_t> mixed(2 * 882);  // one tick at tempo 125
  std::vector<int64_t> pos;
  std::vector<int> volume;
  for (int i = 0; i < 5; ++i) {
    ModulePlayerMix(r.p, mixed.data(), 882);
    pos.push_back(r.Ch(0).position);
    volume.push_back(r.Ch(1).volume);
  }
  EXPECT_EQ(pos[2], pos[0]);
  EXPECT_EQ(pos[4], pos[0]);
  EXPECT_EQ(pos[1], 2 * pos[0]);
  EXPECT_EQ(pos[3], 2 * pos[0]);
  // Multi-retrigger every second tick, halving the volume each time.
  EXPECT_EQ(volume, (std::vector<int>{64, 32, 32, 16, 16}));
  EXPECT_EQ(r.Ch(1).position, pos[1]);
}

TEST(MusicPlayer, Tremor) {
  Rig r(WithSquare(1, {{0, 0, 49, 1, -1, 29, 0x12}}, 8));
  std::vector<bool> on;
  for (int i = 0; i < 8; ++i) {
    r.Tick();
    on.push_back(r.Ch(0).mixVolume > 0);
  }
  EXPECT_EQ(on, (std::vector<bool>{true, true, true, false, false, false, true, true}));
}

TEST(MusicPlayer, ArpeggioCyclesAcrossRows) {
  Rig r(WithSquare(2, {{0, 0, 49, 1, -1, 0, 0x47}, {1, 0, -1, -1, -1, 0, 0x47}}, 4));
  std::vector<int> heard;
  for (int i = 0; i < 6; ++i) {
    r.Tick();
    heard.push_back(r.Ch(0).heardPeriod);
    EXPECT_EQ(r.Ch(0).period, 0);
  }
  EXPECT_EQ(heard, (std::vector<int>{0, -1024, -1792, 0, -1024, -1792}));
  EXPECT_EQ(r.Ch(0).step, ModuleStepFromPeriod(-1792));
}

TEST(MusicPlayer, TonePortamentoStopsAtItsTarget) {
  Rig r(WithSquare(2, {{0, 0, 49, 1}, {1, 0, 50, -1, -1, 3, 0x05}}));
  r.Tick(6);
  const ModuleSample* sample = r.Ch(0).sample;
  r.Tick();
  EXPECT_EQ(r.Ch(0).period, 0);
  EXPECT_EQ(r.Ch(0).target, -256);
  std::vector<int> periods;
  for (int i = 0; i < 5; ++i) {
    r.Tick();
    periods.push_back(r.Ch(0).period);
  }
  EXPECT_EQ(periods, (std::vector<int>{-80, -160, -240, -256, -256}));
  EXPECT_EQ(r.Ch(0).sample, sample);
}

TEST(MusicPlayer, PortamentoAndVibrato) {
  Rig r(WithSquare(1, {{0, 0, 49, 1, -1, 1, 0x02}, {0, 1, 49, 1, -1, 4, 0x84}}));
  r.Tick();
  EXPECT_EQ(r.Ch(0).period, 0);       // not on the row tick
  EXPECT_EQ(r.Ch(1).heardPeriod, 0);  // sine[0]
  r.Tick(2);
  EXPECT_EQ(r.Ch(0).period, -64);
  // Vibrato: depth 16, speed 32, position +16 per later tick.
  EXPECT_EQ(r.Ch(1).heardPeriod, r.p.waves[0][16] * 16 / 8);
  EXPECT_EQ(r.Ch(1).period, 0);
}

TEST(MusicPlayer, EightAndSixteenBitSamplesSoundAlike) {
  auto render = [](bool sixteen, int loop) {
    Module m = WithSquare(1, {{0, 0, 37, 1}});
    musictest::Sample& s = m.instruments[0].samples[0];
    s.data.clear();
    for (int i = 0; i < 40; ++i) s.data.push_back(static_cast<int16_t>((i * 37) % 200 - 100));
    if (sixteen) {
      s.sixteen = true;
      for (int16_t& v : s.data) v = static_cast<int16_t>(v * 256);
    }
    s.loop = loop;
    s.loopStart = 10;
    Rig r(m);
    std::vector<int16_t> out(2 * 3000);
    ModulePlayerRender(r.p, out.data(), 3000);
    return out;
  };
  for (int loop : {0, 1, 2}) {
    const auto a = render(false, loop);
    EXPECT_EQ(a, render(true, loop)) << loop;
    const bool tail = std::any_of(a.end() - 200, a.end(), [](int16_t v) { return v != 0; });
    EXPECT_EQ(tail, loop != 0) << loop;
  }
}

TEST(MusicPlayer, PingPongStaysInsideItsLoop) {
  Module m = WithSquare(1, {{0, 0, 85, 1}});  // three octaves up: about 1.5 samples a frame
  musictest::Sample& s = m.instruments[0].samples[0];
  s.data.assign(64, 0);
  s.loop = 2;
  s.loopStart = 50;
  Rig r(m);
  std::vector<int32_t> mixed(2);
  bool sawBackward = false;
  for (int i = 0; i < 3000; ++i) {
    ModulePlayerMix(r.p, mixed.data(), 1);
    const int64_t at = r.Ch(0).position >> 32;
    if (i > 100) {
      // Read after the frame's advance, so up to one step outside.
      EXPECT_GE(at, 48);
      EXPECT_LE(at, 65);
    }
    sawBackward |= r.Ch(0).direction < 0;
  }
  EXPECT_TRUE(sawBackward);
  EXPECT_TRUE(r.Ch(0).active);
}

TEST(MusicPlayer, PlayBeyondTheOrderCountStartsAtTheRestartPosition) {
  Module m = WithSquare(2, {}, 1);
  m.patterns.push_back(musictest::Pattern{});
  m.orders = {0, 1};
  m.restart = 1;
  std::vector<uint8_t> bytes = musictest::Build(m);
  bytes[80 + 7] = 200;  // past the order count: names no pattern
  ModuleData d;
  ASSERT_TRUE(ModuleLoad(bytes, &d));
  auto player = std::make_unique<ModulePlayer>();
  ModulePlayerInit(*player, std::move(d));
  ModulePlayerPlay(*player, 7);
  ModulePlayerTick(*player);
  EXPECT_EQ(player->order, 1);
  EXPECT_EQ(player->row, 0);
}

TEST(MusicPlayer, SlideAndTremoloParametersWithoutMemory) {
  // Effects 5 and 6 store their volume slide as given (0 included), and a
  // following volume slide of 0 uses that; effect 10 keeps a non-zero one.
  Rig r(WithSquare(3,
                   {{0, 0, 49, 1, -1, 10, 0x02},
                    {1, 0, -1, -1, -1, 6, 0x00},
                    {2, 0, -1, -1, -1, 10, 0x00},
                    {0, 1, 49, 1, 0x30, 7, 0x48},
                    {1, 1, -1, -1, -1, 7, 0x00}},
                   3));
  r.Tick(3);
  EXPECT_EQ(r.Ch(0).volume, 60);
  EXPECT_NE(r.Ch(1).heardVolume, r.Ch(1).volume);  // tremolo at work
  r.Tick(3);
  EXPECT_EQ(r.Ch(0).volume, 60);
  EXPECT_EQ(r.Ch(1).tremoloDepth, 0);
  EXPECT_EQ(r.Ch(1).heardVolume, r.Ch(1).volume);
  r.Tick(3);
  EXPECT_EQ(r.Ch(0).volume, 60);
}

TEST(MusicPlayer, VolumeColumnTonePortamentoSpeedIsTakenAsGiven) {
  Rig r(WithSquare(3, {{0, 0, 49, 1}, {1, 0, 50, -1, -1, 3, 0x10}, {2, 0, 51, -1, 0xF0}}, 3));
  r.Tick(6);
  EXPECT_EQ(r.Ch(0).period, -256);
  EXPECT_EQ(r.Ch(0).portaSpeed, 256);
  r.Tick(3);
  EXPECT_EQ(r.Ch(0).target, -512);
  EXPECT_EQ(r.Ch(0).portaSpeed, 0);
  EXPECT_EQ(r.Ch(0).period, -256);
}

TEST(MusicPlayer, VolumeColumnVibratoSurvivesPeriodSlides) {
  // Row 1: volume-column vibrato (speed 32 from row 0, depth 32) with a
  // portamento up on channel 0 and a tone portamento on channel 1.
  Rig r(WithSquare(2,
                   {{0, 0, 49, 1, 0xA8},
                    {1, 0, -1, -1, 0xB8, 1, 0x01},
                    {0, 1, 49, 1, 0xA8},
                    {1, 1, 61, -1, 0xB8, 3, 0x01}},
                   4));
  r.Tick(4 + 3);
  const int offset = r.p.waves[0][16] * 32 / 8;
  ASSERT_NE(offset, 0);
  EXPECT_EQ(r.Ch(0).period, -32);
  EXPECT_EQ(r.Ch(0).heardPeriod, -32 + offset);
  EXPECT_EQ(r.Ch(1).period, -32);
  EXPECT_EQ(r.Ch(1).heardPeriod, -32 + offset);
}

}  // namespace
