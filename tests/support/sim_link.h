#pragma once
// A network match of the host step and the client step on a simulated link,
// on a virtual millisecond clock, for tests and benchmarks. Each direction of
// the link delays every chunk by a one-way delay and a jitter drawn evenly
// from -jitter to +jitter while keeping the order (as TCP does), may stall
// for set spans of time and may carry only so many bytes a second. The two
// sides run on frame clocks of their own: a phase offset and a drift between
// them. Every frame of both sides is recorded, and JudderPx tells how far the
// client's planes stray from the host's own path.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "game/records.h"
#include "game/rules.h"
#include "host/host_match.h"
#include "host/host_session.h"
#include "join/join_match.h"
#include "join/join_session.h"

namespace simlink {

struct LinkSettings {
  double delayMs = 0.0;         // one way
  double jitterMs = 0.0;        // each chunk's delay varies evenly by up to this much
  double bytesPerSecond = 0.0;  // 0: no limit
  std::vector<std::pair<double, double>> stalls;  // [from, to) in ms: nothing gets through
  uint32_t seed = 1;
};

// One direction of the link.
class LinkDirection {
 public:
  explicit LinkDirection(const LinkSettings& settings)
      : settings_(settings), random_(settings.seed) {}

  void Send(double nowMs, const std::string& text) {
    double start = std::max(nowMs, busyUntil_);
    busyUntil_ = start;
    if (settings_.bytesPerSecond > 0.0) {
      busyUntil_ += static_cast<double>(text.size()) * 1000.0 / settings_.bytesPerSecond;
    }
    double delay = settings_.delayMs;
    if (settings_.jitterMs > 0.0) {
      std::uniform_real_distribution<double> spread(-settings_.jitterMs, settings_.jitterMs);
      delay += spread(random_);
    }
    double at = busyUntil_ + std::max(0.0, delay);
    for (const auto& [from, to] : settings_.stalls) {
      if (at >= from && at < to) at = to;
    }
    at = std::max(at, lastArrival_);  // order is kept
    lastArrival_ = at;
    chunks_.push_back({at, text});
  }

  // Hands every chunk that has arrived by now to the reader; the bytes.
  int32_t Deliver(double nowMs, netplay::MessageReader& reader) {
    int32_t bytes = 0;
    while (!chunks_.empty() && chunks_.front().first <= nowMs) {
      const std::string& text = chunks_.front().second;
      reader.Feed(
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
      bytes += static_cast<int32_t>(text.size());
      chunks_.pop_front();
    }
    return bytes;
  }

 private:
  LinkSettings settings_;
  std::mt19937 random_;
  std::deque<std::pair<double, std::string>> chunks_;
  double busyUntil_ = 0.0;
  double lastArrival_ = 0.0;
};

// Frame n of a side begins at phaseMs + n * periodMs.
struct FrameClock {
  double periodMs = 1000.0 / 60.0;
  double phaseMs = 0.0;
  double At(int64_t frame) const { return phaseMs + static_cast<double>(frame) * periodMs; }
};

// Effects that draw nothing and never hit: only the flight is looked at.
class QuietEffects : public game::MatchEffects {
 public:
  void PlaySound(int32_t) override {}
  void SetSoundRate(int32_t, int32_t) override {}
  void DrawShot(int32_t, int32_t) override {}
  bool ShotHitsPlane(int32_t, int32_t, int32_t, int32_t, int32_t) override { return false; }
  int32_t RandomInt(int32_t) override { return 0; }
  void QuadShow(int32_t, int32_t, int32_t, int32_t) override {}
  void QuadZoom(int32_t, int32_t, int32_t) override {}
  void QuadRotate(int32_t, int32_t, int32_t) override {}
};

struct Point {
  float x = 0.0f;
  float y = 0.0f;
};

// One frame of one side: when it ran and where it put both planes.
struct Sample {
  double ms = 0.0;
  Point red;
  Point blue;
  float ownHeading = 0.0f;  // the client's own heading in this frame
  Point redExact;           // the host's own positions, before rounding
  Point blueExact;
};

using KeyScript = std::function<netplay::NetKeys(int64_t frame)>;

struct MatchSettings {
  LinkSettings toClient;
  LinkSettings toHost;
  FrameClock hostClock;
  FrameClock clientClock;
  KeyScript hostKeys;
  KeyScript clientKeys;
};

// Both sides in their match from the first frame, as after the lobby.
class SimMatch {
 public:
  static constexpr int32_t kClientConnection = 7;

  explicit SimMatch(const MatchSettings& settings)
      : settings_(settings), toClient_(settings.toClient), toHost_(settings.toHost) {
    host_.playerName = "Anna";
    host_.opponentName = "Ben";
    host_.opponentConnection = kClientConnection;
    host_.clients.push_back({kClientConnection, 0, host::kEntryNamed, "Ben"});
    host_.readers[kClientConnection].Clear();
    client_.playerName = "Ben";
    client_.hostName = "Anna";
    client_.link = join::Link::Connected;
    host::HostMatchBegin(host_);
    join::JoinMatchBegin(client_);
  }

  // Runs both sides until the virtual clock reaches untilMs; the host's frame
  // goes first when both fall on the same moment.
  void RunUntil(double untilMs) {
    for (;;) {
      const double h = settings_.hostClock.At(hostFrame_);
      const double c = settings_.clientClock.At(clientFrame_);
      if (std::min(h, c) > untilMs) return;
      if (h <= c) {
        HostFrame(h);
      } else {
        ClientFrame(c);
      }
    }
  }

  void HostFrame(double now) {
    host_.bytesThisFrame = toHost_.Deliver(now, host_.readers[kClientConnection]);
    std::vector<host::HostAction> actions;
    const netplay::NetKeys keys =
        settings_.hostKeys ? settings_.hostKeys(hostFrame_) : netplay::NetKeys{};
    host::HostMatchStep(host_, keys, {}, effects_, actions);
    for (const host::HostAction& a : actions) {
      if (a.kind == host::HostAction::Kind::Send) toClient_.Send(now, a.text);
    }
    const netplay::NetMatch& m = host_.match;
    // The host's screen shows its planes at whole pixels.
    hostSamples_.push_back({now,
                            {static_cast<float>(game::RoundToInt(m.planes[0].x)),
                             static_cast<float>(game::RoundToInt(m.planes[0].y))},
                            {static_cast<float>(game::RoundToInt(m.planes[1].x)),
                             static_cast<float>(game::RoundToInt(m.planes[1].y))},
                            m.planes[1].heading,
                            {m.planes[0].x, m.planes[0].y},
                            {m.planes[1].x, m.planes[1].y}});
    hostFrame_ += 1;
  }

  void ClientFrame(double now) {
    client_.bytesThisFrame = toClient_.Deliver(now, client_.reader);
    std::vector<join::JoinAction> actions;
    const netplay::NetKeys keys =
        settings_.clientKeys ? settings_.clientKeys(clientFrame_) : netplay::NetKeys{};
    join::JoinMatchStep(client_, keys, effects_, actions);
    for (const join::JoinAction& a : actions) {
      if (a.kind == join::JoinAction::Kind::Send) toHost_.Send(now, a.text);
    }
    const netplay::NetMatch& m = client_.match;
    clientSamples_.push_back({now,
                              {m.planes[0].x, m.planes[0].y},
                              {m.planes[1].x, m.planes[1].y},
                              static_cast<float>(client_.ownHeading),
                              {},
                              {}});
    clientFrame_ += 1;
  }

  const std::vector<Sample>& HostSamples() const { return hostSamples_; }
  const std::vector<Sample>& ClientSamples() const { return clientSamples_; }
  host::HostSession& Host() { return host_; }
  join::JoinSession& Client() { return client_; }

 private:
  MatchSettings settings_;
  LinkDirection toClient_;
  LinkDirection toHost_;
  host::HostSession host_;
  join::JoinSession client_;
  QuietEffects effects_;
  int64_t hostFrame_ = 0;
  int64_t clientFrame_ = 0;
  std::vector<Sample> hostSamples_;
  std::vector<Sample> clientSamples_;
};

// --- Judder --------------------------------------------------------------------

inline float Centred(float d, float period) {
  return d - period * std::round(d / period);
}

// A difference of two positions on the wrapping screen.
inline Point Apart(Point a, Point b) {
  return {Centred(a.x - b.x, 864.0f), Centred(a.y - b.y, 664.0f)};
}

// How far the client's drawings of one plane (0 red, 1 blue) stray from the
// host's own path, as an RMS in pixels. Each client frame is placed on the
// nearest point of the path the host's screen drew (how far off the path the
// plane is); its place along the path is compared with an even pace, fitted
// over the 61 client frames around it (how far it runs ahead of or lags
// behind where an evenly moving plane would be: a plane held still and then
// jumping counts here). A slow change of the pace, as the two frame clocks
// drift apart, does not count. With `rounded`, the client's positions are
// taken at the whole pixels it draws them at. The first `skip` client frames
// are left out (the start of the match).
inline double JudderPx(const std::vector<Sample>& host, const std::vector<Sample>& client,
                       int plane, bool rounded = false, size_t skip = 120,
                       std::vector<Point>* errors = nullptr, bool exact = false) {
  auto at = [plane, exact](const Sample& s) {
    if (exact) return plane == 0 ? s.redExact : s.blueExact;
    return plane == 0 ? s.red : s.blue;
  };
  const size_t n = host.size();
  if (n < 2 || client.size() <= skip + 61) return 0.0;
  std::vector<double> along(client.size(), 0.0);
  std::vector<double> across(client.size(), 0.0);
  double guess = -1.0;
  for (size_t m = 0; m < client.size(); ++m) {
    Point q = plane == 0 ? client[m].red : client[m].blue;
    if (rounded) q = {std::nearbyint(q.x), std::nearbyint(q.y)};
    // Near where the previous frame was found; anywhere within two seconds
    // when that is far off (the start, or a plane placed anew).
    double best = 1e30;
    double bestAt = 0.0;
    auto search = [&](size_t from, size_t to) {
      for (size_t k = from; k < to; ++k) {
        const Point d = Apart(at(host[k + 1]), at(host[k]));
        const Point o = Apart(q, at(host[k]));
        const double len2 = static_cast<double>(d.x) * d.x + static_cast<double>(d.y) * d.y;
        double u = len2 > 0.0
                       ? (static_cast<double>(o.x) * d.x + static_cast<double>(o.y) * d.y) / len2
                       : 0.0;
        u = std::clamp(u, 0.0, 1.0);
        const double ex = o.x - u * d.x;
        const double ey = o.y - u * d.y;
        const double e = std::sqrt(ex * ex + ey * ey);
        if (e < best) {
          best = e;
          bestAt = static_cast<double>(k) + u;
        }
      }
    };
    if (guess >= 0.0) {
      search(static_cast<size_t>(std::max(0.0, guess - 12.0)),
             std::min(n - 1, static_cast<size_t>(guess + 14.0)));
    }
    if (best > 8.0) {
      size_t from = 0;
      while (from + 1 < n && host[from].ms < client[m].ms - 2000.0) ++from;
      size_t to = from;
      while (to + 1 < n && host[to].ms < client[m].ms + 2000.0) ++to;
      search(from, to);
    }
    across[m] = best;
    along[m] = bestAt;
    guess = bestAt;
  }
  // Place along the path against an even pace fitted around each frame.
  constexpr size_t kHalf = 30;
  double sum = 0.0;
  size_t count = 0;
  for (size_t m = std::max(skip, kHalf); m + kHalf < client.size(); ++m) {
    double st = 0.0, sv = 0.0, stt = 0.0, stv = 0.0;
    for (size_t i = m - kHalf; i <= m + kHalf; ++i) {
      const double t = static_cast<double>(i) - static_cast<double>(m);
      st += t;
      sv += along[i];
      stt += t * t;
      stv += t * along[i];
    }
    const double k = 2.0 * kHalf + 1.0;
    const double slope = (k * stv - st * sv) / (k * stt - st * st);
    const double fitted = (sv - slope * st) / k;
    const double ahead = (along[m] - fitted) * 2.0;  // the planes fly 2 pixels a frame
    sum += ahead * ahead + across[m] * across[m];
    if (errors != nullptr)
      errors->push_back({static_cast<float>(ahead), static_cast<float>(across[m])});
    count += 1;
  }
  return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}

// The usual link of a figure: delay +- jitter each way, a phase offset of the
// two frame clocks and the client's clock 0.1 % slower.
inline MatchSettings Link(double delayMs, double jitterMs, uint32_t seed = 1) {
  MatchSettings s;
  s.toClient.delayMs = delayMs;
  s.toClient.jitterMs = jitterMs;
  s.toClient.seed = seed;
  s.toHost.delayMs = delayMs;
  s.toHost.jitterMs = jitterMs;
  s.toHost.seed = seed + 1000;
  s.clientClock.phaseMs = 7.3;
  s.clientClock.periodMs = 1000.0 / 60.0 * 1.001;
  return s;
}

}  // namespace simlink
