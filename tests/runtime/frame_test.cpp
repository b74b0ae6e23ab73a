#include "runtime/frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/headless.h"

namespace {

TEST(FrameText, LongAndFloatForms) {
  EXPECT_EQ(TextFromLong(INT32_MIN), "-2147483648");
  EXPECT_EQ(TextFromLong(INT32_MAX), "2147483647");
  EXPECT_EQ(TextFromLong(0), "0");
  EXPECT_EQ(TextFromLong(-7), "-7");

  EXPECT_EQ(TextFromFloat(1.5f), "1.500000");
  EXPECT_EQ(TextFromFloat(-0.25f), "-0.250000");
  EXPECT_EQ(TextFromFloat(0.0f), "0.000000");
  // Widened to double before formatting: the float's own value shows.
  EXPECT_EQ(TextFromFloat(0.1f), "0.100000");
  EXPECT_EQ(TextFromFloat(123.456f), "123.456001");
  EXPECT_EQ(TextFromFloat(1e10f), "10000000000.000000");
  // Never an exponent, even for the largest float.
  std::string big = TextFromFloat(std::numeric_limits<float>::max());
  EXPECT_EQ(big, "340282346638528859811704183484516925440.000000");
  EXPECT_EQ(TextFromFloat(-std::numeric_limits<float>::max()),
            "-340282346638528859811704183484516925440.000000");
  // Tiny values round to six decimals and keep their sign.
  EXPECT_EQ(TextFromFloat(1e-7f), "0.000000");
  EXPECT_EQ(TextFromFloat(-1e-7f), "-0.000000");
  EXPECT_EQ(TextFromFloat(std::numeric_limits<float>::denorm_min()), "0.000000");
  EXPECT_EQ(TextFromFloat(6e-7f), "0.000001");
  EXPECT_EQ(TextFromFloat(-0.0f), "-0.000000");
  // Values that are not numbers still give a defined, short text.
  EXPECT_EQ(TextFromFloat(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(TextFromFloat(-std::numeric_limits<float>::infinity()), "-inf");
  EXPECT_EQ(TextFromFloat(std::numeric_limits<float>::quiet_NaN()), "nan");
}

TEST(FrameText, TextToLongSignsSpacesAndWrapping) {
  EXPECT_EQ(TextToLong("  -12x"), -12);
  EXPECT_EQ(TextToLong("+7"), 7);
  EXPECT_EQ(TextToLong("- 5"), 0);
  EXPECT_EQ(TextToLong(""), 0);
  EXPECT_EQ(TextToLong("abc"), 0);
  EXPECT_EQ(TextToLong("--5"), 0);
  EXPECT_EQ(TextToLong("\t5"), 0);  // only spaces are skipped
  EXPECT_EQ(TextToLong("007"), 7);
  EXPECT_EQ(TextToLong("59"), 59);
  // Overflow keeps the low 32 bits.
  EXPECT_EQ(TextToLong("4294967296"), 0);
  EXPECT_EQ(TextToLong("4294967295"), -1);
  EXPECT_EQ(TextToLong("2147483648"), INT32_MIN);
  EXPECT_EQ(TextToLong("-2147483648"), INT32_MIN);
  EXPECT_EQ(TextToLong("99999999999999999999"), static_cast<int32_t>(1661992959u));
}

TEST(FrameText, TextFieldSplitsAtFirstSeparatorByte) {
  const std::string text = "a#b#";
  EXPECT_EQ(TextField(text, 1, "#"), "a");
  EXPECT_EQ(TextField(text, 2, "#"), "b");
  EXPECT_EQ(TextField(text, 3, "#"), "");
  EXPECT_EQ(TextField(text, 4, "#"), "");
  EXPECT_EQ(TextField(text, 2, "#xyz"), "b");
  EXPECT_EQ(TextField(text, 0, "#"), "a");
  EXPECT_EQ(TextField(text, -5, "#"), "a");
  EXPECT_EQ(TextField(text, 1, ""), "a#b#");
  EXPECT_EQ(TextField("", 1, "#"), "");
  EXPECT_EQ(TextField("#x", 1, "#"), "");
  EXPECT_EQ(TextField("#x", 2, "#"), "x");
  EXPECT_EQ(TextField("pos:1.500000:-2.000000:fire", 4, ":"), "fire");
  EXPECT_EQ(TextField("pos:1.500000:-2.000000:fire", 5, ":"), "");
  EXPECT_EQ(TextField("a::c", 2, ":"), "");
  EXPECT_EQ(TextField("a::c", 3, ":"), "c");
}

TEST(FrameText, LengthAndMemoryStopAtNul) {
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("abc"), 3);
  EXPECT_EQ(TextLength(std::string("ab\0cd", 5)), 2);
  EXPECT_EQ(TextLength("\xe4\xf6\xfc"), 3);  // umlauts are one byte each

  std::array<uint8_t, 6> bytes = {'n', 'a', 'm', 'e', 0, 'x'};
  EXPECT_EQ(TextFromMemory(bytes), "name");
  // No NUL inside the span: stops at its end instead of reading past it.
  EXPECT_EQ(TextFromMemory(std::span<const uint8_t>(bytes.data(), 3)), "nam");
  EXPECT_EQ(TextFromMemory({}), "");
}

TEST(FrameNumbers, TruncationAndColours) {
  EXPECT_EQ(FloatToLongTruncated(2.9f), 2);
  EXPECT_EQ(FloatToLongTruncated(-2.9f), -2);
  EXPECT_EQ(FloatToLongTruncated(-0.5f), 0);
  EXPECT_EQ(FloatToLongTruncated(2147483520.0f), 2147483520);
  EXPECT_EQ(FloatToLongTruncated(-2147483648.0f), INT32_MIN);
  EXPECT_EQ(FloatToLongTruncated(2147483648.0f), INT32_MIN);
  EXPECT_EQ(FloatToLongTruncated(-3e9f), INT32_MIN);
  EXPECT_EQ(FloatToLongTruncated(std::numeric_limits<float>::infinity()), INT32_MIN);
  EXPECT_EQ(FloatToLongTruncated(std::numeric_limits<float>::quiet_NaN()), INT32_MIN);

  EXPECT_EQ(RGB(1, 2, 3), 1 + 2 * 256 + 3 * 65536);
  EXPECT_EQ(RGB(255, 255, 255), 0xffffff);
  EXPECT_EQ(RGB(256, 0, 0), 256);  // added, not masked
  EXPECT_EQ(RGB(0, 0, 256), 0x1000000);
  EXPECT_EQ(RGB(0, 0, 0x8000), INT32_MIN);  // wraps instead of overflowing
}

TEST(FrameRandom, MatchesReferenceSequences) {
  // Reference values from an independent model of the generator.
  RandomSeed(12345);
  std::vector<int32_t> got;
  for (int i = 0; i < 8; ++i) got.push_back(Random(1000));
  EXPECT_EQ(got, (std::vector<int32_t>{279, 711, 663, 341, 585, 275, 302, 705}));

  RandomSeed(0);
  got.clear();
  for (int i = 0; i < 4; ++i) got.push_back(Random(INT32_MAX));
  EXPECT_EQ(got, (std::vector<int32_t>{1170769584, 1683484736, 1418143767, 813114335}));
}

TEST(FrameRandom, RangesAndRepeatability) {
  RandomSeed(777);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(Random(0), 0);

  std::array<int, 9> counts{};
  for (int i = 0; i < 9000; ++i) {
    int32_t r = Random(8);
    ASSERT_GE(r, 0);
    ASSERT_LE(r, 8);
    ++counts[static_cast<size_t>(r)];
  }
  for (int c : counts) {
    EXPECT_GT(c, 800);
    EXPECT_LT(c, 1200);
  }

  // A negative maximum still advances the generator.
  RandomSeed(5);
  Random(10);
  int32_t second = Random(10);
  RandomSeed(5);
  EXPECT_EQ(Random(-1), INT32_MIN);
  EXPECT_EQ(Random(10), second);

  RandomSeed(42);
  std::vector<int32_t> a;
  for (int i = 0; i < 50; ++i) a.push_back(Random(1 << 20));
  RandomSeed(42);
  std::vector<int32_t> b;
  for (int i = 0; i < 50; ++i) b.push_back(Random(1 << 20));
  EXPECT_EQ(a, b);
}

TEST(FrameRandom, StartHookSeedsFromTheClock) {
  platform::HeadlessPlatform& p = platform::UseHeadless();
  p.AdvanceMs(2345);
  uint32_t now = p.ElapsedMs();
  FrameRandomStartHook();
  std::vector<int32_t> fromHook;
  for (int i = 0; i < 10; ++i) fromHook.push_back(Random(100000));
  RandomSeed(now);
  std::vector<int32_t> fromSeed;
  for (int i = 0; i < 10; ++i) fromSeed.push_back(Random(100000));
  EXPECT_EQ(fromHook, fromSeed);
}

TEST(FrameDate, FormatTokens) {
  const std::string full = "%yyyy-%mm-%dd %hh:%ii:%ss";
  EXPECT_EQ(FormatDate(full, 0), "1970-01-01 00:00:00");
  EXPECT_EQ(FormatDate(full, 951868799), "2000-02-29 23:59:59");
  EXPECT_EQ(FormatDate(full, 951868800), "2000-03-01 00:00:00");
  EXPECT_EQ(FormatDate(full, -1), "1969-12-31 23:59:59");
  EXPECT_EQ(FormatDate("%YYYY/%Yy/%MM %Hh%II%Ss", 1234567890), "2009/09/02 233130");
  EXPECT_EQ(FormatDate("%ss", 65), "05");
  EXPECT_EQ(FormatDate("%x", 65), "%x");
  EXPECT_EQ(FormatDate("100%", 65), "100%");
  EXPECT_EQ(FormatDate("%%ss", 65), "%05");
  EXPECT_EQ(FormatDate("%y", 65), "%y");
  EXPECT_EQ(FormatDate("", 65), "");
}

TEST(FrameDate, NowIsLocalTimeCountedAsUniversal) {
  platform::HeadlessPlatform& p = platform::UseHeadless();
  // The twin's local clock is one hour ahead of universal time; the date value
  // carries the local wall-clock fields unchanged.
  platform::LocalTime t = p.LocalNow();
  int64_t now = DateNow();
  char expected[64];
  std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  EXPECT_EQ(FormatDate("%yyyy-%mm-%dd %hh:%ii:%ss", now), expected);

  for (int i = 0; i < 70; ++i) {
    std::string s = FormatDate("%ss", DateNow());
    ASSERT_EQ(s.size(), 2u);
    int32_t seconds = TextToLong(s);
    EXPECT_GE(seconds, 0);
    EXPECT_LE(seconds, 59);
    EXPECT_EQ(seconds, p.LocalNow().second);
    p.AdvanceMs(1000);
  }
}

TEST(FrameClock, SleepAndElapsedUseThePlatform) {
  platform::HeadlessPlatform& p = platform::UseHeadless();
  uint32_t start = ElapsedMs();
  SleepMs(5);
  EXPECT_EQ(ElapsedMs() - start, 5u);
  SleepMs(-1);  // must not turn into an endless wait
  SleepMs(0);
  EXPECT_EQ(ElapsedMs() - start, 5u);
  EXPECT_EQ(p.SleptMs(), 5u);
}

int g_boxesWhenDisabled = -1;
int g_boxesWhenEnabled = -1;

TEST(FrameMessageBox, ShowsThroughPlatformBetweenWindowHooks) {
  platform::HeadlessPlatform& p = platform::UseHeadless();
  p.SetMessageBoxAnswer(1);
  static platform::HeadlessPlatform* current = nullptr;
  current = &p;
  MessageBoxSetWindowHooks(
      [] { g_boxesWhenDisabled = static_cast<int>(current->MessageBoxes().size()); },
      [] { g_boxesWhenEnabled = static_cast<int>(current->MessageBoxes().size()); });
  EXPECT_EQ(MessageBox("Error", "Can't initialize the network !", 0), 1);
  MessageBoxSetWindowHooks(nullptr, nullptr);

  EXPECT_EQ(g_boxesWhenDisabled, 0);  // windows disabled before the box
  EXPECT_EQ(g_boxesWhenEnabled, 1);   // and enabled again after it
  ASSERT_EQ(p.MessageBoxes().size(), 1u);
  EXPECT_EQ(p.MessageBoxes()[0].title, "Error");
  EXPECT_EQ(p.MessageBoxes()[0].text, "Can't initialize the network !");
  EXPECT_EQ(p.MessageBoxes()[0].flags, 0);

  EXPECT_EQ(MessageBox("Skirmora - DirectX Error", "x", 16), 1);
  EXPECT_EQ(p.MessageBoxes().back().flags, 16);
  EXPECT_EQ(g_boxesWhenEnabled, 1);  // hooks cleared
}

TEST(FrameMemory, ZeroFilledBlocksUntilTheEndHook) {
  FrameMemoryStartHook();
  EXPECT_EQ(MemoryAlloc(0), nullptr);
  EXPECT_EQ(MemoryAlloc(-5), nullptr);
  uint8_t* a = MemoryAlloc(100);
  uint8_t* b = MemoryAlloc(100);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(a[i], 0);
    EXPECT_EQ(b[i], 0);
  }
  a[99] = 0xaa;  // the whole block is usable
  EXPECT_EQ(b[0], 0);
  FrameMemoryEndHook();
}

}  // namespace
