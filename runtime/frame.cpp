#include "runtime/frame.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace {

// Generator of type RANROT W: 17 pairs of words, lags 17 and 10.
constexpr int kRandomPairs = 17;

struct RandomPair {
  uint32_t first = 0;
  uint32_t second = 0;
};

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

struct FrameState {
  std::array<RandomPair, kRandomPairs> random{};
  int p1 = 0;
  int p2 = 0;
  std::vector<std::unique_ptr<uint8_t, FreeDeleter>> memoryBlocks;
  MessageBoxWindowHook disableWindows = nullptr;
  MessageBoxWindowHook enableWindows = nullptr;
};

FrameState& State() {
  static FrameState state;
  return state;
}

uint32_t RotateLeft(uint32_t x, int r) {
  return (x << r) | (x >> (32 - r));
}

// One generator step. Returns the new first word in y and the second in z.
void RandomStep(uint32_t* y, uint32_t* z) {
  FrameState& s = State();
  RandomPair& a = s.random[static_cast<size_t>(s.p1)];
  const RandomPair& b = s.random[static_cast<size_t>(s.p2)];
  uint32_t newZ = RotateLeft(a.first, 19) + b.first;
  uint32_t newY = RotateLeft(a.second, 27) + b.second;
  a.first = newY;
  a.second = newZ;
  s.p1 = s.p1 == 0 ? kRandomPairs - 1 : s.p1 - 1;
  s.p2 = s.p2 == 0 ? kRandomPairs - 1 : s.p2 - 1;
  *y = newY;
  *z = newZ;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  int64_t era = (year >= 0 ? year : year - 399) / 400;
  int64_t yearOfEra = year - era * 400;
  int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

struct CivilDate {
  int64_t year;
  int month;
  int day;
};

CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t dayOfEra = days - era * 146097;
  int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  int64_t mp = (5 * dayOfYear + 2) / 153;
  int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when the mask continues at position i with the lower-case token.
bool TokenAt(const std::string& mask, size_t i, const char* token) {
  for (size_t k = 0; token[k] != '\0'; ++k) {
    if (i + k >= mask.size() || LowerAscii(mask[i + k]) != token[k]) return false;
  }
  return true;
}

void AppendTwoDigits(std::string* out, int64_t value) {
  out->push_back(static_cast<char>('0' + value / 10 % 10));
  out->push_back(static_cast<char>('0' + value % 10));
}

}  // namespace

// --- Texts and numbers -------------------------------------------------------

std::string TextFromLong(int32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%ld", static_cast<long>(value));
  return buffer;
}

std::string TextFromFloat(float value) {
  double wide = static_cast<double>(value);
  int length = std::snprintf(nullptr, 0, "%f", wide);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%f", wide);
  text.resize(static_cast<size_t>(length));
  return text;
}

int32_t TextToLong(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    ++i;
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

int32_t TextLength(const std::string& text) {
  size_t end = text.find('\0');
  size_t length = end == std::string::npos ? text.size() : end;
  return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
}

std::string TextField(const std::string& text, int32_t k, const std::string& separator) {
  std::string body = text.substr(0, static_cast<size_t>(TextLength(text)));
  if (body.empty()) return {};
  if (separator.empty() || separator[0] == '\0') return body;
  if (k < 1) k = 1;
  const char sep = separator[0];
  size_t start = 0;
  for (int32_t field = 1; field < k; ++field) {
    size_t next = body.find(sep, start);
    if (next == std::string::npos) return {};
    start = next + 1;
  }
  size_t end = body.find(sep, start);
  return body.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string TextFromMemory(std::span<const uint8_t> memory) {
  std::string text;
  for (uint8_t byte : memory) {
    if (byte == 0) break;
    text.push_back(static_cast<char>(byte));
  }
  return text;
}

int32_t FloatToLongTruncated(float value) {
  double wide = static_cast<double>(value);
  // NaN fails both comparisons and lands here as well.
  if (!(wide > -2147483649.0 && wide < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(std::trunc(wide));
}

int32_t RGB(int32_t r, int32_t g, int32_t b) {
  uint32_t packed = static_cast<uint32_t>(r) + static_cast<uint32_t>(g) * 256u +
                    static_cast<uint32_t>(b) * 65536u;
  return static_cast<int32_t>(packed);
}

// --- Memory heap ---------------------------------------------------------------

uint8_t* MemoryAlloc(int32_t size) {
  if (size <= 0) return nullptr;
  auto* block = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1));
  if (block == nullptr) return nullptr;
  State().memoryBlocks.emplace_back(block);
  return block;
}

void FrameMemoryStartHook() {
  State().memoryBlocks.clear();
}

void FrameMemoryEndHook() {
  State().memoryBlocks.clear();
}

// --- Random numbers ------------------------------------------------------------

int32_t Random(int32_t max) {
  uint32_t y = 0;
  uint32_t z = 0;
  RandomStep(&y, &z);
  if (max < 0) return INT32_MIN;
  // The high 32 bits of the 96-bit product (z * 2^32 + y) * (max + 1).
  uint64_t range = static_cast<uint64_t>(max) + 1;
  uint64_t low = static_cast<uint64_t>(y) * range;
  uint64_t high = static_cast<uint64_t>(z) * range + (low >> 32);
  return static_cast<int32_t>(high >> 32);
}

void RandomSeed(uint32_t seed) {
  FrameState& st = State();
  uint32_t s = seed;
  for (int i = 0; i < 2 * kRandomPairs; ++i) {
    s = s * 2891336453u + 1u;
    RandomPair& pair = st.random[static_cast<size_t>(i / 2)];
    if (i % 2 == 0) {
      pair.first = s;
    } else {
      pair.second = s;
    }
  }
  st.p1 = 0;
  st.p2 = 10;
  uint32_t y = 0;
  uint32_t z = 0;
  for (int i = 0; i < 31; ++i) RandomStep(&y, &z);
}

RandomState RandomSave() {
  const FrameState& st = State();
  RandomState out;
  for (int i = 0; i < kRandomPairs; ++i) {
    out.words[static_cast<size_t>(2 * i)] = st.random[static_cast<size_t>(i)].first;
    out.words[static_cast<size_t>(2 * i + 1)] = st.random[static_cast<size_t>(i)].second;
  }
  out.p1 = st.p1;
  out.p2 = st.p2;
  return out;
}

void RandomRestore(const RandomState& in) {
  FrameState& st = State();
  for (int i = 0; i < kRandomPairs; ++i) {
    st.random[static_cast<size_t>(i)].first = in.words[static_cast<size_t>(2 * i)];
    st.random[static_cast<size_t>(i)].second = in.words[static_cast<size_t>(2 * i + 1)];
  }
  auto position = [](int32_t p) { return ((p % kRandomPairs) + kRandomPairs) % kRandomPairs; };
  st.p1 = position(in.p1);
  st.p2 = position(in.p2);
}

void FrameRandomStartHook() {
  RandomSeed(platform::Current().ElapsedMs());
}

// --- Clocks and date -------------------------------------------------------------

void SleepMs(int32_t ms) {
  // A negative time would mean "forever" to the system call; treat it as no wait.
  if (ms <= 0) {
    platform::Current().SleepMs(0);
    return;
  }
  platform::Current().SleepMs(static_cast<uint32_t>(ms));
}

uint32_t ElapsedMs() {
  return platform::Current().ElapsedMs();
}

int64_t DateNow() {
  platform::LocalTime t = platform::Current().LocalNow();
  int64_t days = DaysFromCivil(t.year, t.month, t.day);
  return days * 86400 + static_cast<int64_t>(t.hour) * 3600 + static_cast<int64_t>(t.minute) * 60 +
         t.second;
}

std::string FormatDate(const std::string& mask, int64_t date) {
  // Floor division, so that dates before 1970 still give times of day 0..86399.
  int64_t days = date / 86400;
  int64_t seconds = date % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  CivilDate civil = CivilFromDays(days);

  std::string out;
  out.reserve(mask.size() + 8);
  size_t i = 0;
  while (i < mask.size()) {
    char c = mask[i];
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t at = i + 1;
    if (TokenAt(mask, at, "yyyy")) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%04lld", static_cast<long long>(civil.year));
      out += buffer;
      i = at + 4;
    } else if (TokenAt(mask, at, "yy")) {
      int64_t yy = civil.year % 100;
      AppendTwoDigits(&out, yy < 0 ? yy + 100 : yy);
      i = at + 2;
    } else if (TokenAt(mask, at, "mm")) {
      AppendTwoDigits(&out, civil.month);
      i = at + 2;
    } else if (TokenAt(mask, at, "dd")) {
      AppendTwoDigits(&out, civil.day);
      i = at + 2;
    } else if (TokenAt(mask, at, "hh")) {
      AppendTwoDigits(&out, seconds / 3600);
      i = at + 2;
    } else if (TokenAt(mask, at, "ii")) {
      AppendTwoDigits(&out, seconds / 60 % 60);
      i = at + 2;
    } else if (TokenAt(mask, at, "ss")) {
      AppendTwoDigits(&out, seconds % 60);
      i = at + 2;
    } else {
      out.push_back('%');
      i = at;
    }
  }
  return out;
}

// --- Message box -----------------------------------------------------------------

int32_t MessageBox(const std::string& title, const std::string& text, int32_t flags) {
  FrameState& s = State();
  if (s.disableWindows != nullptr) s.disableWindows();
  int pressed = platform::Current().ShowMessageBox(title, text, flags);
  if (s.enableWindows != nullptr) s.enableWindows();
  return pressed;
}

void MessageBoxSetWindowHooks(MessageBoxWindowHook disable, MessageBoxWindowHook enable) {
  FrameState& s = State();
  s.disableWindows = disable;
  s.enableWindows = enable;
}
