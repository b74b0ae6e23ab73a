#include "media/sound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "media/mixer.h"
#include "platform/headless.h"

namespace {

// --- WAV building ------------------------------------------------------------

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

struct WavSpec {
  uint32_t rate = 44100;
  int channels = 1;
  int bits = 16;
  std::vector<uint8_t> fmtExtra;  // bytes after the 16-byte format block
  std::vector<uint8_t> preChunk;  // a whole chunk between format and samples
  uint16_t formatTag = 1;
};

std::vector<uint8_t> MakeWav(const WavSpec& spec, const std::vector<uint8_t>& samples) {
  std::vector<uint8_t> w;
  PutTag(w, "RIFF");
  Put32(w, 0);
  PutTag(w, "WAVE");
  PutTag(w, "fmt ");
  Put32(w, static_cast<uint32_t>(16 + spec.fmtExtra.size()));
  const uint32_t block = static_cast<uint32_t>(spec.channels * spec.bits / 8);
  Put16(w, spec.formatTag);
  Put16(w, static_cast<uint32_t>(spec.channels));
  Put32(w, spec.rate);
  Put32(w, spec.rate * block);
  Put16(w, block);
  Put16(w, static_cast<uint32_t>(spec.bits));
  for (uint8_t b : spec.fmtExtra) w.push_back(b);
  for (uint8_t b : spec.preChunk) w.push_back(b);
  PutTag(w, "data");
  Put32(w, static_cast<uint32_t>(samples.size()));
  for (uint8_t b : samples) w.push_back(b);
  const uint32_t riff = static_cast<uint32_t>(w.size() - 8);
  std::memcpy(w.data() + 4, &riff, 4);
  return w;
}

std::vector<uint8_t> Pcm16(const std::vector<int16_t>& values) {
  std::vector<uint8_t> out;
  for (int16_t v : values) Put16(out, static_cast<uint16_t>(v));
  return out;
}

std::vector<uint8_t> Wav16(uint32_t rate, const std::vector<int16_t>& mono) {
  WavSpec spec;
  spec.rate = rate;
  return MakeWav(spec, Pcm16(mono));
}

std::vector<uint8_t> Wav8(uint32_t rate, const std::vector<uint8_t>& mono) {
  WavSpec spec;
  spec.rate = rate;
  spec.bits = 8;
  return MakeWav(spec, mono);
}

// --- Fixture -------------------------------------------------------------------

class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    twin_ = &platform::UseHeadless();
    SoundStart();
    ASSERT_NE(SoundSystemInit(), 0);
  }
  void TearDown() override {
    SoundEnd();
    MixerMusicDetach();
  }

  std::vector<int16_t> Pull(int frames) { return twin_->PullAudio(frames); }

  // Frames whose left sample is non-zero, pulling until silence.
  int AudibleFrames(int limit) {
    std::vector<int16_t> out = Pull(limit);
    int count = 0;
    for (int i = 0; i < limit; ++i) count += out[static_cast<size_t>(2 * i)] != 0 ? 1 : 0;
    return count;
  }

  platform::HeadlessPlatform* twin_ = nullptr;
};

TEST_F(SoundTest, VolumeTableGivesDecibelAttenuationAndClamps) {
  ASSERT_NE(SoundCatch(1, Wav16(44100, std::vector<int16_t>(100, 16000))), 0);
  EXPECT_EQ(SoundAttenuation(1), 0);
  const std::pair<int, int> cases[] = {{100, 0},    {50, -603}, {30, -1046}, {1, -4000},
                                       {0, -10000}, {150, 0},   {-5, -10000}};
  for (auto [volume, attenuation] : cases) {
    ASSERT_EQ(SoundVolume(1, volume), 1);
    EXPECT_EQ(SoundAttenuation(1), attenuation) << "volume " << volume;
  }
  EXPECT_EQ(SoundVolume(7, 50), 0);  // nothing under 7
  EXPECT_EQ(SoundAttenuation(7), 1);
}

TEST_F(SoundTest, VolumeScalesTheOutputAndZeroIsSilence) {
  ASSERT_NE(SoundCatch(1, Wav16(44100, std::vector<int16_t>(1000, 16000))), 0);
  SoundPlay(1);
  EXPECT_EQ(Pull(10)[0], 16000);

  SoundVolume(1, 50);  // while playing
  std::vector<int16_t> half = Pull(10);
  EXPECT_NEAR(half[0], 16000 * std::pow(10.0, -603 / 2000.0), 2);
  EXPECT_EQ(half[0], half[1]);  // mono reaches both sides

  SoundVolume(1, 0);
  for (int16_t v : Pull(500)) ASSERT_EQ(v, 0);
}

TEST_F(SoundTest, VolumeSetWhileStoppedHoldsForTheNextPlay) {
  ASSERT_NE(SoundCatch(2, Wav16(44100, std::vector<int16_t>(1000, 20000))), 0);
  SoundVolume(2, 30);
  for (int16_t v : Pull(100)) ASSERT_EQ(v, 0);  // still stopped
  SoundPlay(2);
  EXPECT_NEAR(Pull(1)[0], 20000 * std::pow(10.0, -1046 / 2000.0), 2);
  SoundStop(2);
  SoundPlay(2, 1);
  EXPECT_NEAR(Pull(1)[0], 20000 * std::pow(10.0, -1046 / 2000.0), 2);
}

TEST_F(SoundTest, OwnRatePlaysUnchangedAndDoubleRateHalvesTheLength) {
  // 800 frames at 8000 Hz: 0.1 s, that is 4410 output frames.
  const auto wav = Wav8(8000, std::vector<uint8_t>(800, 200));
  ASSERT_NE(SoundCatch(3, wav), 0);
  SoundPlay(3);
  EXPECT_NEAR(AudibleFrames(10000), 4410, 2);
  EXPECT_FALSE(media::MixerVoicePlaying(3));  // a one-shot stops by itself

  ASSERT_EQ(SoundRate(3, 16000), 1);
  SoundPlay(3);
  EXPECT_NEAR(AudibleFrames(10000), 2205, 2);

  // A refused rate keeps the old one.
  EXPECT_EQ(SoundRate(3, 99), 0);
  EXPECT_EQ(SoundRate(3, 100001), 0);
  SoundPlay(3);
  EXPECT_NEAR(AudibleFrames(10000), 2205, 2);

  ASSERT_EQ(SoundRate(3, 100000), 1);
  SoundPlay(3);
  EXPECT_NEAR(AudibleFrames(10000), 353, 2);
}

TEST_F(SoundTest, ReplayRestartsInsteadOfStartingASecondCopy) {
  std::vector<int16_t> ramp(4000);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i * 8);
  ASSERT_NE(SoundCatch(4, Wav16(44100, ramp)), 0);
  SoundPlay(4);
  std::vector<int16_t> first = Pull(1000);
  EXPECT_EQ(first[2 * 999], 999 * 8);
  SoundPlay(4);
  std::vector<int16_t> again = Pull(3);
  EXPECT_EQ(again[0], 0);
  EXPECT_EQ(again[2], 8);
  EXPECT_EQ(again[4], 16);

  SoundStop(4);
  EXPECT_EQ(Pull(5)[0], 0);
  SoundPlay(4);
  EXPECT_EQ(Pull(2)[2], 8);  // a stop rewinds as well

  // Stop with -1 reaches every sound.
  ASSERT_NE(SoundCatch(5, Wav16(44100, ramp)), 0);
  SoundPlay(5);
  EXPECT_EQ(SoundStop(-1), 1);
  for (int16_t v : Pull(100)) ASSERT_EQ(v, 0);
}

// A looped sine of exactly four periods, resampled, must run on across the
// seam and across callback boundaries as smoothly as anywhere else.
TEST_F(SoundTest, LoopedSoundHasNoClickAtTheSeam) {
  constexpr int kFrames = 100;
  constexpr double kAmplitude = 20000;
  std::vector<int16_t> sine(kFrames);
  for (int i = 0; i < kFrames; ++i) {
    sine[static_cast<size_t>(i)] =
        static_cast<int16_t>(std::lrint(kAmplitude * std::sin(2 * M_PI * 4 * i / kFrames)));
  }
  ASSERT_NE(SoundCatch(6, Wav16(8000, sine)), 0);
  SoundRate(6, 11025);  // a quarter source frame per output frame: 100 frames per period
  SoundPlay(6, 1);
  std::vector<int16_t> all;
  for (int chunk : {333, 1, 64, 1000, 517, 2048, 777}) {
    std::vector<int16_t> part = Pull(chunk);
    all.insert(all.end(), part.begin(), part.end());
  }
  const double slope = kAmplitude * 2 * M_PI / 100;  // steepest step of the played sine
  int16_t peak = 0;
  for (size_t i = 2; i < all.size(); i += 2) {
    ASSERT_LE(std::abs(all[i] - all[i - 2]), slope * 1.05) << "frame " << i / 2;
    peak = std::max(peak, all[i]);
  }
  EXPECT_GT(peak, 19000);  // still playing after many rounds
  EXPECT_TRUE(media::MixerVoicePlaying(6));
}

TEST_F(SoundTest, ReadsStereoSixteenBitAndLongFormatBlocks) {
  WavSpec stereo;
  stereo.channels = 2;
  stereo.fmtExtra = {0, 0};  // cbSize 0: an 18-byte format block
  ASSERT_NE(SoundCatch(8, MakeWav(stereo, Pcm16({1000, -2000, 1000, -2000, 1000, -2000}))), 0);
  SoundPlay(8);
  std::vector<int16_t> out = Pull(3);
  EXPECT_EQ(out[0], 1000);
  EXPECT_EQ(out[1], -2000);

  // 40-byte extensible format block naming plain PCM.
  WavSpec ext;
  ext.formatTag = 0xFFFE;
  ext.fmtExtra = {22,   0,    16,   0,    4,    0,    0,    0,    0x01, 0x00, 0x00, 0x00,
                  0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  ASSERT_NE(SoundCatch(9, MakeWav(ext, Pcm16({3000, 3000}))), 0);
  ext.fmtExtra[8] = 0x03;  // floating-point samples: not ours
  EXPECT_EQ(SoundCatch(10, MakeWav(ext, Pcm16({3000, 3000}))), 0);

  // A list chunk before the samples is skipped, not played.
  WavSpec listed;
  listed.preChunk = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
  ASSERT_NE(SoundCatch(11, MakeWav(listed, Pcm16({5000, 5000, 5000}))), 0);
  SoundStop(-1);
  SoundPlay(11);
  EXPECT_EQ(AudibleFrames(100), 3);

  // Without any chunk tagged "data", the chunk right after the format chunk
  // holds the samples whatever its tag.
  std::vector<uint8_t> untagged = MakeWav(WavSpec{}, Pcm16({6000, 6000, 6000, 6000}));
  std::memcpy(untagged.data() + 36, "smpl", 4);
  ASSERT_NE(SoundCatch(12, untagged), 0);
  SoundStop(-1);
  SoundPlay(12);
  EXPECT_EQ(AudibleFrames(100), 4);
}

TEST_F(SoundTest, TableGrowsPastFiftyAndRejectsImpossibleNumbers) {
  const auto wav = Wav8(8000, {200, 200});
  EXPECT_EQ(SoundPlay(60), 0);
  EXPECT_NE(SoundCatch(60, wav), 0);
  EXPECT_EQ(SoundPlay(60), 1);
  EXPECT_EQ(SoundPlay(61), 0);  // exists as a number but holds nothing
  EXPECT_EQ(SoundCatch(-1, wav), 0);
  EXPECT_EQ(SoundCatch(2'000'000'000, wav), 0);
  EXPECT_EQ(SoundPlay(-3), 0);
  EXPECT_EQ(SoundStop(1000), 0);
  EXPECT_EQ(SoundRate(2'000'000'000, 8000), 0);
}

TEST_F(SoundTest, BadDataReturnsZeroAndLeavesTheOldSound) {
  const auto good = Wav16(44100, std::vector<int16_t>(50, 7000));
  ASSERT_NE(SoundCatch(12, good), 0);
  SoundVolume(12, 50);

  std::vector<std::vector<uint8_t>> bad;
  bad.push_back({});
  bad.push_back({'R', 'I', 'F', 'F'});
  bad.push_back(std::vector<uint8_t>(300, 0xFF));
  for (size_t cut = 0; cut < good.size(); ++cut) {
    bad.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
  }
  auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> w = good;
    std::copy(bytes.begin(), bytes.end(), w.begin() + static_cast<std::ptrdiff_t>(at));
    bad.push_back(w);
  };
  patched(0, {'R', 'I', 'F', 'X'});                     // not RIFF
  patched(12, {'f', 'm', 't', '_'});                    // no format chunk at 12
  patched(16, {15, 0, 0, 0});                           // format block too short
  patched(16, {0xF0, 0xFF, 0xFF, 0x7F});                // format block longer than the data
  patched(20, {2, 0});                                  // compressed format
  patched(22, {0, 0});                                  // no channels
  patched(22, {3, 0});                                  // three channels
  patched(34, {12, 0});                                 // 12-bit samples
  patched(32, {4, 0});                                  // block size that does not fit
  patched(24, {0, 0, 0, 0});                            // rate 0
  patched(40, {0xFF, 0xFF, 0xFF, 0xFF});                // data size beyond the end
  patched(40, {101, 0, 0, 0});                          // one byte too many
  patched(40, {1, 0, 0, 0});                            // less than one frame
  patched(36, {'j', 'u', 'n', 'k', 0xFF, 0xFF, 0, 0});  // untagged samples past the end
  for (size_t i = 0; i < bad.size(); ++i) EXPECT_EQ(SoundCatch(12, bad[i]), 0) << "case " << i;

  EXPECT_EQ(SoundAttenuation(12), -603);
  SoundPlay(12);
  std::vector<int16_t> out = Pull(60);
  EXPECT_NEAR(out[0], 7000 * std::pow(10.0, -603 / 2000.0), 2);
  EXPECT_EQ(out[2 * 49], out[0]);
  EXPECT_EQ(out[2 * 50], 0);
}

TEST_F(SoundTest, WithoutAudioDeviceEverythingFailsQuietly) {
  SoundEnd();
  twin_ = &platform::UseHeadless();
  twin_->SetAudioAvailable(false);
  SoundStart();
  EXPECT_EQ(SoundSystemInit(), 0);
  EXPECT_EQ(SoundCatch(1, Wav8(8000, {1, 2, 3})), 0);
  EXPECT_EQ(SoundPlay(1), 0);
  EXPECT_EQ(SoundVolume(1, 50), 0);
  EXPECT_EQ(SoundRate(1, 8000), 0);
  EXPECT_FALSE(MixerMusicAttach());
  EXPECT_TRUE(Pull(10) == std::vector<int16_t>(20, 0));
}

TEST_F(SoundTest, MusicRingPlaysWhatIsWrittenAndMixesWithSounds) {
  ASSERT_TRUE(MixerMusicAttach());
  EXPECT_EQ(MixerMusicPlayPosition(), 0u);
  for (int16_t v : Pull(8)) ASSERT_EQ(v, 0);  // a fresh ring is silent
  EXPECT_EQ(MixerMusicPlayPosition(), 32u);

  std::vector<int16_t> frames;
  for (int i = 0; i < 100; ++i) {
    frames.push_back(static_cast<int16_t>(i));
    frames.push_back(static_cast<int16_t>(-i));
  }
  MixerMusicWrite(MixerMusicPlayPosition(), frames.data(), 100);
  std::vector<int16_t> out = Pull(100);
  EXPECT_EQ(out, frames);

  // Writing across the end of the ring wraps round to its start.
  MixerMusicWrite(kMusicStreamBytes - 8, frames.data(), 4);
  Pull(kMusicStreamFrames - 108 - 2);
  out = Pull(4);
  EXPECT_EQ(out[4], 2);
  EXPECT_EQ(out[5], -2);
  EXPECT_EQ(MixerMusicPlayPosition(), 8u);

  // Music and a sound add up; the sum saturates instead of wrapping.
  std::vector<int16_t> loud(2 * 50, 30000);
  MixerMusicWrite(MixerMusicPlayPosition(), loud.data(), 50);
  ASSERT_NE(SoundCatch(1, Wav16(44100, std::vector<int16_t>(50, 30000))), 0);
  SoundPlay(1);
  out = Pull(50);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[99], 32767);

  MixerMusicDetach();
  MixerMusicWrite(MixerMusicPlayPosition(), loud.data(), 50);
  for (int16_t v : Pull(50)) ASSERT_EQ(v, 0);
  EXPECT_TRUE(twin_->AudioIsOpen());  // the sounds still hold the device
  SoundEnd();
  EXPECT_FALSE(twin_->AudioIsOpen());
}

// The audio callback runs while the main thread restarts, retunes and
// replaces sounds; under the sanitizers this catches any read of a freed
// recording or a torn voice table.
TEST_F(SoundTest, ControlsAreSafeWhileTheCallbackMixes) {
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    while (!stop.load()) twin_->PullAudio(64);
  });
  std::vector<int16_t> tone(500);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>((i % 50) * 300);
  for (int round = 0; round < 300; ++round) {
    const int n = round % 70;
    SoundCatch(n, Wav16(8000 + static_cast<uint32_t>(round) * 100, tone));
    SoundPlay(n, round % 2);
    SoundVolume(n, round % 101);
    SoundRate(n, 5000 + round * 50);
    if (round % 7 == 0) SoundStop(-1);
  }
  stop.store(true);
  audio.join();
  SoundEnd();
  EXPECT_TRUE(Pull(10) == std::vector<int16_t>(20, 0));
}

}  // namespace
