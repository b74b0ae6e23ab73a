// How smoothly the client draws both planes over a simulated link: the host
// step and the client step on a virtual clock, joined by a link with a
// one-way delay and jitter (order kept) each way, the client's frame clock
// 7.3 ms out of phase and 0.1 % slower than the host's. Both players turn
// for a while, fly straight, turn the other way. Prints, for each link, the
// RMS distance of each of the client's planes from the host's own path
// (where it is held, and at the whole pixels it is drawn at), the round trip
// the client found, and the largest step of the own plane off its own
// 2-pixel flight in one frame.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "tests/support/sim_link.h"

namespace {

constexpr double kRunMs = 60000.0;

bool Within(int64_t f, int64_t from, int64_t to) {
  return f >= from && f < to;
}

// Turning one way, straight on, the other way, straight on.
netplay::NetKeys Turns(int64_t frame, int64_t period, int64_t shift) {
  const int64_t f = (frame + shift) % period;
  netplay::NetKeys k;
  k.leftHeld = Within(f, 0, period / 4);
  k.rightHeld = Within(f, period / 2, period / 2 + period / 6);
  return k;
}

// Largest distance in one frame between the own plane's step and a step of
// 2 pixels on the heading it was drawn with the frame before.
double MostOffStep(const std::vector<simlink::Sample>& client) {
  double most = 0.0;
  for (size_t m = 121; m < client.size(); ++m) {
    // The host's wrap puts a plane exactly at the far edge, up to 2 pixels
    // off a whole screen's width: not a step of the view.
    const simlink::Point p = client[m].blue;
    if (p.x < -28.0f || p.x > 828.0f || p.y < -28.0f || p.y > 628.0f) continue;
    const simlink::Point d = simlink::Apart(client[m].blue, client[m - 1].blue);
    const float r = client[m - 1].ownHeading * game::kDegToRad;
    const double ex = d.x - std::cos(r) * 2.0f;
    const double ey = d.y - std::sin(r) * 2.0f;
    most = std::max(most, std::sqrt(ex * ex + ey * ey));
  }
  return most;
}

}  // namespace

int main() {
  struct Row {
    const char* name;
    double delay;
    double jitter;
    bool stalls;
  };
  const Row rows[] = {{"0", 0.0, 0.0, false},
                      {"40_12", 40.0, 12.0, false},
                      {"80_30", 80.0, 30.0, false},
                      {"150_50", 150.0, 50.0, false},
                      {"80_30_stalls_3000Bps", 80.0, 30.0, true}};
  for (const Row& row : rows) {
    simlink::MatchSettings settings = simlink::Link(row.delay, row.jitter);
    if (row.stalls) {
      // A quarter-second stall every 15 seconds each way, and a thin line.
      for (double at = 10000.0; at < kRunMs; at += 15000.0) {
        settings.toClient.stalls.push_back({at, at + 250.0});
        settings.toHost.stalls.push_back({at + 5000.0, at + 5250.0});
      }
      settings.toClient.bytesPerSecond = 3000.0;
      settings.toHost.bytesPerSecond = 3000.0;
    }
    settings.hostKeys = [](int64_t f) { return Turns(f, 420, 0); };
    settings.clientKeys = [](int64_t f) { return Turns(f, 300, 77); };
    simlink::SimMatch match(settings);
    const auto t0 = std::chrono::steady_clock::now();
    match.RunUntil(kRunMs);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const auto& h = match.HostSamples();
    const auto& c = match.ClientSamples();
    // Where the client holds each plane against where the host has it.
    std::printf("judder_%s_red: %.3f px\n", row.name,
                simlink::JudderPx(h, c, 0, false, 120, nullptr, true));
    std::printf("judder_%s_blue: %.3f px\n", row.name,
                simlink::JudderPx(h, c, 1, false, 120, nullptr, true));
    // The whole pixels the client draws against those the host draws.
    std::printf("judder_%s_red_screen: %.3f px\n", row.name, simlink::JudderPx(h, c, 0, true));
    std::printf("judder_%s_blue_screen: %.3f px\n", row.name, simlink::JudderPx(h, c, 1, true));
    std::printf("judder_%s_own_plane_most_off_step: %.3f px\n", row.name, MostOffStep(c));
    std::printf("judder_%s_ping: %d ms\n", row.name, join::JoinRoundTripMs(match.Client()));
    std::printf("judder_%s_run_time: %.1f ms\n", row.name, ms);
  }
  return 0;
}
