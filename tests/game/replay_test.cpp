// Replays of the local game: the text format read back as written and refused
// when damaged, and whole matches recorded on the headless platform and
// played back with the same composed frames at the same frame numbers.
#include "game/replay.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "game/replay_file.h"
#include "game/skirmora.h"
#include "platform/headless.h"
#include "platform/keymap.h"
#include "runtime/frame.h"
#include "runtime/program.h"

namespace game {
namespace {

Replay SampleReplay(ReplayKind kind) {
  Replay r;
  r.kind = kind;
  r.version = "1.0";
  r.name1 = "Anna Maria 100%";
  r.name2 = "B\xe9la";  // Windows-1252, as the settings give it
  r.computer = kind == ReplayKind::Local;
  r.skill = 3;
  r.opponentSeed = 4000000000u;
  for (size_t i = 0; i < r.random.words.size(); ++i) r.random.words[i] = 0x9E3779B9u * (i + 1);
  r.random.p1 = 16;
  r.random.p2 = 9;
  r.cloudOffset = -12.5f;
  r.fadeLevel = 255;
  r.fpsText = "63";
  r.engineFrequency[0] = 30000;
  r.engineFrequency[1] = 48000;
  r.diveMeasure[0] = 90;
  r.diveMeasure[1] = 0;
  r.smokeAngle = -7;
  for (int n = 0; n < 4; ++n) {
    ReplayFrame f;
    f.keys[0].turnLeft = n == 1;
    f.keys[0].fireHeld = n == 2;
    f.keys[0].fireReleased = n == 3;
    if (kind == ReplayKind::Local) {
      f.keys[1].turnRight = n == 0;
      f.tick = n == 0;
      f.movementFactor = 160.0f / 63.0f;
      f.fpsTextChanged = n == 2;
      f.fpsText = "";
    } else {
      f.bytes = 23 * n;
      f.roundTripMs = n - 1;
      if (n == 2) f.client = {{false, 271.0f}, {true, 0.0f}, {false, 0.1f}};
    }
    f.quit = n == 3;
    r.frames.push_back(f);
  }
  r.complete = true;
  return r;
}

void ExpectSame(const Replay& a, const Replay& b) {
  EXPECT_EQ(a.kind, b.kind);
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.name1, b.name1);
  EXPECT_EQ(a.name2, b.name2);
  EXPECT_EQ(a.computer, b.computer);
  EXPECT_EQ(a.skill, b.skill);
  EXPECT_EQ(a.opponentSeed, b.opponentSeed);
  EXPECT_TRUE(a.random == b.random);
  EXPECT_EQ(a.cloudOffset, b.cloudOffset);
  EXPECT_EQ(a.fpsText, b.fpsText);
  EXPECT_EQ(a.engineFrequency[0], b.engineFrequency[0]);
  EXPECT_EQ(a.diveMeasure[0], b.diveMeasure[0]);
  EXPECT_EQ(a.smokeAngle, b.smokeAngle);
  EXPECT_EQ(a.complete, b.complete);
  ASSERT_EQ(a.frames.size(), b.frames.size());
  for (size_t i = 0; i < a.frames.size(); ++i) EXPECT_TRUE(a.frames[i] == b.frames[i]) << i;
}

TEST(ReplayFormatTest, ReadsBackWhatItWritesAndAMatchCutShortUpToItsLastFrame) {
  for (ReplayKind kind : {ReplayKind::Local, ReplayKind::Host}) {
    const Replay r = SampleReplay(kind);
    const std::string text = ReplayText(r);
    Replay back;
    std::string error;
    ASSERT_TRUE(ReplayRead(text, &back, &error)) << error << "\n" << text;
    ExpectSame(r, back);
    // Without its closing line (the program was closed or crashed), it is
    // read up to its last whole frame.
    const std::string cut = text.substr(0, text.rfind("end "));
    ASSERT_TRUE(ReplayRead(cut, &back, &error)) << error;
    EXPECT_FALSE(back.complete);
    EXPECT_EQ(back.frames.size(), r.frames.size());
  }
  // The fuzzer's starting replays stay readable.
  for (const char* name : {"replay_local.seed", "replay_host.seed"}) {
    std::ifstream in(std::string(SKIRMORA_SOURCE_DIR "/tests/fuzz/") + name);
    std::stringstream text;
    text << in.rdbuf();
    Replay seed;
    std::string error;
    EXPECT_TRUE(ReplayRead(text.str(), &seed, &error)) << name << ": " << error;
    EXPECT_TRUE(seed.complete) << name;
  }
  // The texts are single bytes; spaces and % are written escaped.
  EXPECT_NE(ReplayText(SampleReplay(ReplayKind::Local)).find("name1 Anna%20Maria%20100%25\n"),
            std::string::npos);
}

TEST(ReplayFormatTest, DamagedTruncatedAndForeignTextsAreRefusedWithAReason) {
  const std::string good = ReplayText(SampleReplay(ReplayKind::Local));
  auto refused = [](const std::string& text) {
    Replay r;
    std::string error;
    if (ReplayRead(text, &r, &error)) return std::string();
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
    return error;
  };
  auto replaced = [&good](const std::string& from, const std::string& to) {
    std::string t = good;
    const size_t at = t.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return t.replace(at, from.size(), to);
  };
  EXPECT_EQ(refused(""), "not a Skirmora replay");
  EXPECT_EQ(refused("\x89PNG\r\n\x1a\n"), "not a Skirmora replay");
  EXPECT_EQ(refused("skirmora replay x\n"), "not a Skirmora replay");
  EXPECT_NE(refused(replaced("skirmora replay 1", "skirmora replay 2")).find("format 2"),
            std::string::npos);
  // Cut anywhere but after a whole frame line, it is refused as truncated.
  const size_t framesAt = good.find("frames\n") + 7;
  for (size_t cut = 17; cut < good.size(); ++cut) {
    if (cut >= framesAt && good[cut - 1] == '\n') continue;
    EXPECT_NE(refused(good.substr(0, cut)), "") << "cut at " << cut;
  }
  EXPECT_NE(refused(good.substr(0, framesAt - 20)).find("truncated"), std::string::npos);
  // Damaged values and lines, each named by its line.
  EXPECT_EQ(refused(replaced("skill 3", "skill 4")), "damaged at line 7: a bad value for skill");
  EXPECT_EQ(refused(replaced("fade 255", "fade")), "damaged at line 11: a bad value for fade");
  EXPECT_NE(refused(replaced("cloud -12.5", "cloud nan")), "");
  EXPECT_NE(refused(replaced("cloud -12.5", "cloud 1e30")), "");
  EXPECT_NE(refused(replaced("random 16 9", "random 17 9")), "");
  EXPECT_NE(refused(replaced("name1 Anna", "name1 An%4")), "");
  EXPECT_NE(refused(replaced("name1 Anna", "name1 An na")), "");
  EXPECT_NE(refused(replaced("kind local", "kind lokal")), "");
  EXPECT_NE(refused(replaced("\nframes\n", "\nframe\n")), "");
  EXPECT_NE(refused(replaced("\n02 t", "\n0G t")), "");
  EXPECT_NE(refused(replaced("\n02 t", "\n02  t")), "");
  EXPECT_NE(refused(replaced("\n02 t", "\n02 h3 t")), "") << "a client heading in a local replay";
  EXPECT_NE(refused(replaced("end 4", "end 5")), "");
  EXPECT_NE(refused(good + "00\n"), "") << "a frame after the closing line";
  EXPECT_NE(refused(replaced("\n", "\r\n")), "");
}

// --- Whole matches ---------------------------------------------------------------

uint64_t FrameHash(const platform::CapturedFrame& f) {
  uint64_t hash = 1469598103934665603ull;
  const size_t words = f.pixels.size() / 8;
  for (size_t i = 0; i < words; ++i) {
    uint64_t w;
    std::memcpy(&w, f.pixels.data() + i * 8, 8);
    hash = (hash ^ w) * 1099511628211ull;
  }
  return hash;
}

class ReplayMatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "replayXXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    ASSERT_NE(::mkdtemp(buffer.data()), nullptr);
    dir_ = buffer.data();
    ::setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
  }
  void TearDown() override {
    ProgramRunEndHooks();
    std::filesystem::remove_all(dir_);
  }

  void Start(const SkirmoraOptions& options) {
    ProgramRunEndHooks();
    hp_ = &platform::UseHeadless();
    hp_->SetExecutablePath(dir_ + "/skirmora");
    ProgramStart(SkirmoraHooks());
    ASSERT_TRUE(SkirmoraStart(options));
  }

  // One line per match frame: its number in the match, the planes and the
  // hash of the frame as presented.
  std::string Line(int matchFrame) const {
    const SkirmoraState& s = SkirmoraGameState();
    const platform::CapturedFrame* f = nullptr;
    for (const auto& [id, w] : hp_->Windows()) {
      if (w.frame.sequence > 0 && (f == nullptr || w.frame.sequence > f->sequence)) f = &w.frame;
    }
    std::ostringstream line;
    line << matchFrame << " " << s.planes[0].x << "," << s.planes[0].y << " " << s.planes[1].x
         << "," << s.planes[1].y << " e" << s.planes[0].energy << "/" << s.planes[1].energy
         << " fade " << s.fadeLevel << " frame " << (f != nullptr ? FrameHash(*f) : 0);
    return line.str();
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/data/skirmora/replays", ec)) {
      names.push_back(e.path().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
  platform::HeadlessPlatform* hp_ = nullptr;
};

// Red turns towards blue and fires in bursts; blue (when a person flies it)
// circles and taps fire.
void Pilots(platform::HeadlessPlatform& hp, const SkirmoraState& s, int frame) {
  const PlaneState& me = s.planes[0];
  float target = std::atan2(s.planes[1].y - me.y, s.planes[1].x - me.x) * 180.0f / 3.14159265f;
  float diff = std::fmod(target - me.heading + 540.0f, 360.0f) - 180.0f;
  hp.SetKey(kKeyLeft, diff < -3.0f);
  hp.SetKey(kKeyRight, diff > 3.0f);
  hp.SetKey(kKeyRightCtrl, std::fabs(diff) < 12.0f && frame % 6 < 3);
  hp.SetKey(kKeyA, frame % 200 < 120);
  hp.SetKey(kKeyLeftCtrl, frame % 10 < 2);
}

TEST_F(ReplayMatchTest, TheFolderKeepsTheNewestTwentyAndAnUnwritableOneStopsNoMatch) {
  const std::string folder = dir_ + "/data/skirmora/replays";
  EXPECT_EQ(ReplayFolder(), folder);
  std::filesystem::create_directories(folder);
  for (int n = 0; n < 25; ++n) {
    char name[64];
    std::snprintf(name, sizeof name, "/20200101-0000%02d-000-%s.replay", n,
                  n % 2 == 0 ? "local" : "host");
    std::ofstream(folder + name) << "old";
  }
  std::ofstream(folder + "/notes.txt") << "not a replay";
  ReplayRecorder recorder;
  ASSERT_TRUE(recorder.Begin(SampleReplay(ReplayKind::Local), "skirmora", 0));
  ReplayFrame frame;
  frame.keys[0].turnLeft = true;
  recorder.Frame(frame, 100);
  recorder.Frame(frame, 700);  // flushed: half a second has passed
  {
    std::ifstream in(recorder.Path());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("frames\n10\n10\n"), std::string::npos) << text.str();
  }
  recorder.End();
  std::vector<std::string> left = Files();
  ASSERT_EQ(left.size(), 21u);
  EXPECT_EQ(left.back(), folder + "/notes.txt") << "files of other names stay";
  EXPECT_NE(left[0].find("20200101-000006-000-local"), std::string::npos) << "the oldest went";
  Replay back;
  std::string error;
  ASSERT_TRUE(ReplayLoad(left[19], ReplayKind::Local, &back, &error)) << error;
  EXPECT_TRUE(back.complete);
  EXPECT_EQ(back.frames.size(), 2u);
  // Where no folder can be made, the recorder does nothing and says why.
  ::setenv("XDG_DATA_HOME", (folder + "/notes.txt").c_str(), 1);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(recorder.Begin(SampleReplay(ReplayKind::Local), "skirmora", 0));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("skirmora: no replay is written"), std::string::npos) << said;
  recorder.Frame(frame, 2000);
  recorder.End();
  EXPECT_FALSE(recorder.Recording());
}

TEST_F(ReplayMatchTest, RecordedMatchesPlayBackWithTheSameFramesAndThenTheProgramEnds) {
  // The hard computer, so that the second match is over soon.
  std::ofstream(dir_ + "/Preferences.prefs") << "[Start]\nSkill=3\n";
  SkirmoraOptions record;
  record.recordReplays = true;
  Start(record);
  SkirmoraState& s = SkirmoraGameState();
  // Two matches: two players, left with Esc after 40 frames; then one
  // against the computer, flown to its end.
  std::vector<std::vector<std::string>> played(2);
  int matchFrame = 0;
  for (int frame = 0; frame < 8000; ++frame) {
    hp_->ReleaseAllKeys();
    if (s.screen == Screen::Splash) hp_->SetKey(kKeyEsc, frame == 5);
    if (s.screen == Screen::Menu) {
      if (s.matches == 1 && s.menu.item1Picture != kImageItem1Player) {
        hp_->SetKey(kKeyRight, frame % 2 == 0);
      } else {
        hp_->SetKey(kKeyEnter, frame % 60 == 40);
      }
    }
    if (s.screen == Screen::Menu && s.matches == 2) break;
    const bool runsMatch = s.screen == Screen::Match;
    if (runsMatch && s.setUpPending) matchFrame = 0;
    if (runsMatch) {
      Pilots(*hp_, s, frame);
      if (s.matches == 1 && matchFrame == 40) hp_->SetKey(kKeyEsc, true);
    }
    ASSERT_TRUE(SkirmoraFrame());
    if (runsMatch) {
      played[static_cast<size_t>(s.matches - 1)].push_back(Line(matchFrame));
      matchFrame += 1;
    }
  }
  ASSERT_EQ(s.matches, 2);
  ASSERT_GT(played[0].size(), 40u);
  ASSERT_NE(s.match.downedPlayer, 0) << "the second match was flown to its end";
  const std::vector<std::string> files = Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_NE(files[0].find("-local.replay"), std::string::npos);

  for (size_t m = 0; m < 2; ++m) {
    Replay replay;
    std::string error;
    ASSERT_TRUE(ReplayLoad(files[m], ReplayKind::Local, &replay, &error)) << error;
    EXPECT_TRUE(replay.complete);
    EXPECT_EQ(replay.computer, m == 1);
    SkirmoraOptions play;
    play.replay = &replay;
    Start(play);
    ASSERT_EQ(SkirmoraGameState().screen, Screen::Match);
    std::vector<std::string> shown;
    while (SkirmoraFrame()) {
      shown.push_back(Line(static_cast<int>(shown.size())));
      ASSERT_LT(shown.size(), 20000u);
    }
    shown.push_back(Line(static_cast<int>(shown.size())));
    ASSERT_EQ(shown.size(), played[m].size()) << "match " << m;
    for (size_t i = 0; i < shown.size(); ++i) {
      ASSERT_EQ(shown[i], played[m][i]) << "match " << m << ", first difference at frame " << i;
    }
    EXPECT_TRUE(Files().size() == 2u) << "playing back records nothing";
  }
}

// A pause in a recorded match leaves no trace in its replay: the frames
// played before and after it come back the same, also when the frame clock
// ticked while the match stood still.
TEST_F(ReplayMatchTest, APausedMatchPlaysBackWithTheSameFrames) {
  SkirmoraOptions record;
  record.recordReplays = true;
  Start(record);
  SkirmoraState& s = SkirmoraGameState();
  std::vector<std::string> played;
  int matchFrame = 0;
  int pausedFrames = 0;
  for (int frame = 0; frame < 3000 && s.matches < 2; ++frame) {
    hp_->ReleaseAllKeys();
    if (s.screen == Screen::Splash) hp_->SetKey(kKeyEsc, frame == 5);
    if (s.screen == Screen::Menu) {
      if (s.matches == 1) break;
      hp_->SetKey(kKeyEnter, frame % 60 == 40);
    }
    const bool runsMatch = s.screen == Screen::Match;
    if (runsMatch) {
      Pilots(*hp_, s, frame);
      hp_->SetKey(platform::kScanP, matchFrame == 100 || (s.paused && pausedFrames == 150));
      if (matchFrame == 300) hp_->SetKey(kKeyEsc, true);
    }
    ASSERT_TRUE(SkirmoraFrame());
    if (runsMatch && s.paused) pausedFrames += 1;
    if (runsMatch && !s.paused) {
      played.push_back(Line(matchFrame));
      matchFrame += 1;
    }
  }
  ASSERT_GT(pausedFrames, 120) << "the match was paused for over two seconds";
  const std::vector<std::string> files = Files();
  ASSERT_EQ(files.size(), 1u);
  Replay replay;
  std::string error;
  ASSERT_TRUE(ReplayLoad(files[0], ReplayKind::Local, &replay, &error)) << error;
  SkirmoraOptions play;
  play.replay = &replay;
  Start(play);
  std::vector<std::string> shown;
  while (SkirmoraFrame()) {
    shown.push_back(Line(static_cast<int>(shown.size())));
    ASSERT_LT(shown.size(), 20000u);
  }
  shown.push_back(Line(static_cast<int>(shown.size())));
  ASSERT_EQ(shown.size(), played.size());
  for (size_t i = 0; i < shown.size(); ++i) {
    ASSERT_EQ(shown[i], played[i]) << "first difference at frame " << i;
  }
}

}  // namespace
}  // namespace game
