// Synthesises the three built-in recordings as 8-bit mono PCM WAV files:
//   A  engine drone, 22,050 Hz, 29,944 samples, loops seamlessly
//   B  shot,          8,000 Hz, 15,597 samples
//   C  hit,           8,000 Hz,  4,355 samples
// Usage: tool_synth <output directory>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common.h"

using namespace tools;

namespace {

constexpr double kTwoPi = 6.28318530717958647692;

// One-pole low-pass run over the buffer twice, so that its state at the
// start already continues from the end: the result stays loopable.
void CircularLowPass(std::vector<double>& x, double rate, double cutoff) {
  double a = 1 - std::exp(-kTwoPi * cutoff / rate);
  double y = 0;
  std::vector<double> out(x.size());
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < x.size(); ++i) out[i] = y += a * (x[i] - y);
  x = out;
}

void LowPass(std::vector<double>& x, double rate, double cutoff) {
  double a = 1 - std::exp(-kTwoPi * cutoff / rate);
  double y = 0;
  for (double& v : x) v = y += a * (v - y);
}

void RemoveMean(std::vector<double>& x) {
  double sum = 0;
  for (double v : x) sum += v;
  for (double& v : x) v -= sum / x.size();
}

void Normalise(std::vector<double>& x, double peak) {
  double m = 1e-9;
  for (double v : x) m = std::max(m, std::fabs(v));
  for (double& v : x) v *= peak / m;
}

// Short fades so that a one-shot recording starts and ends at silence.
void FadeEnds(std::vector<double>& x, int in, int out) {
  for (int i = 0; i < in && i < static_cast<int>(x.size()); ++i)
    x[i] *= static_cast<double>(i) / in;
  for (int i = 0; i < out && i < static_cast<int>(x.size()); ++i)
    x[x.size() - 1 - i] *= static_cast<double>(i) / out;
}

// Engine drone: a four-cylinder firing pattern repeating every 197 samples
// (about 112 Hz at 22,050 Hz; 61 to 243 Hz over the game's pitch range),
// exactly 152 firings long, so that the end runs into the start without a
// seam. Each firing is a damped resonant knock with a burst of exhaust
// noise; everything wraps round the buffer's end.
std::vector<double> Engine() {
  const int n = 29944, period = 197, rate = 22050;
  std::vector<double> x(n, 0.0);
  Rng rng(11);
  std::vector<double> noise(n);
  for (double& v : noise) v = rng.Signed();
  CircularLowPass(noise, rate, 1400);
  CircularLowPass(noise, rate, 1400);
  const double pattern[4] = {1.0, 0.78, 0.92, 0.72};
  for (int i = 0; i < n / period; ++i) {
    double amp = pattern[i % 4] * (1 + 0.08 * rng.Signed());
    double tone = 300 + 30 * rng.Signed();
    for (int t = 0; t < 3 * period; ++t) {
      double s = t / static_cast<double>(rate);
      double knock = std::exp(-t / 38.0) * std::sin(kTwoPi * tone * s);
      double thump = std::exp(-t / 110.0) * std::sin(kTwoPi * 112 * s) * 0.9;
      double rasp = std::exp(-t / 60.0) * noise[(i * period + t) % n] * 1.6;
      x[(i * period + t) % n] += amp * (0.55 * knock + thump + rasp);
    }
  }
  // A steady low hum of the propeller underneath.
  for (int i = 0; i < n; ++i) x[i] += 0.25 * std::sin(kTwoPi * i * 76.0 / n * 2);
  RemoveMean(x);
  Normalise(x, 0.78);
  return x;
}

// Shot: a sharp crack, a falling "thump" and a rolling tail with two faint
// echoes. Most of the energy lies below 1 kHz, so that even ten times as
// fast (the menu plays it at 80,000 Hz) it stays a clean blip.
std::vector<double> ShotSound() {
  const int n = 15597, rate = 8000;
  std::vector<double> x(n, 0.0);
  Rng rng(23);
  std::vector<double> crack(n), rumble(n);
  for (double& v : crack) v = rng.Signed();
  for (double& v : rumble) v = rng.Signed();
  LowPass(crack, rate, 1300);
  LowPass(rumble, rate, 260);
  LowPass(rumble, rate, 260);
  double phase = 0;
  for (int i = 0; i < n; ++i) {
    double s = i / static_cast<double>(rate);
    double freq = 90 + 360 * std::exp(-s / 0.07);
    phase += kTwoPi * freq / rate;
    double v = 0.9 * crack[i] * std::exp(-s / 0.035);
    v += 0.85 * std::sin(phase) * std::exp(-s / 0.13);
    v += 2.6 * rumble[i] * std::exp(-s / 0.45) * (1 - std::exp(-s / 0.03));
    for (double echo : {0.19, 0.38}) {
      if (s < echo) continue;
      double e = s - echo;
      v += (echo < 0.3 ? 0.3 : 0.14) * crack[i] * std::exp(-e / 0.05) +
           0.2 * (echo < 0.3 ? 1 : 0.5) * std::sin(phase) * std::exp(-e / 0.1);
    }
    x[i] = v;
  }
  RemoveMean(x);
  FadeEnds(x, 3, 1600);
  Normalise(x, 0.86);
  return x;
}

// Hit: a metallic clank of inharmonic partials over a short crunch and a
// low knock. At 60,000 Hz (menu move) it becomes a bright short ping.
std::vector<double> HitSound() {
  const int n = 4355, rate = 8000;
  std::vector<double> x(n, 0.0);
  Rng rng(37);
  std::vector<double> crunch(n);
  for (double& v : crunch) v = rng.Signed();
  LowPass(crunch, rate, 1800);
  const double freq[5] = {182, 297, 463, 702, 1031};
  const double amp[5] = {1.0, 0.7, 0.5, 0.34, 0.2};
  const double decay[5] = {0.17, 0.12, 0.085, 0.065, 0.045};
  for (int i = 0; i < n; ++i) {
    double s = i / static_cast<double>(rate);
    double v = 0;
    for (int k = 0; k < 5; ++k)
      v += amp[k] * std::exp(-s / decay[k]) * std::sin(kTwoPi * freq[k] * s);
    v += 1.3 * crunch[i] * std::exp(-s / 0.028);
    v += 0.8 * std::sin(kTwoPi * 68 * s) * std::exp(-s / 0.07);
    x[i] = v;
  }
  RemoveMean(x);
  FadeEnds(x, 2, 400);
  Normalise(x, 0.86);
  return x;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  bool ok = WriteFile(JoinPath(dir, "recording_a.wav"), EncodeWav8(22050, Engine()));
  ok &= WriteFile(JoinPath(dir, "recording_b.wav"), EncodeWav8(8000, ShotSound()));
  ok &= WriteFile(JoinPath(dir, "recording_c.wav"), EncodeWav8(8000, HitSound()));
  return ok ? 0 : 1;
}
