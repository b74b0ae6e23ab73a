// Times one network match frame of each side on the headless platform and its
// 16-bit screen: the screen cleared, the match step and the drawing. The host
// and the client run in one process; what one side sends is handed to the
// other's message reader in memory, so no socket is involved. Both players
// turn and fire all the time and explosions are kept in flight.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "game/passes.h"
#include "game/records.h"
#include "host/host_match.h"
#include "host/host_session.h"
#include "join/join_match.h"
#include "join/join_session.h"
#include "media/display.h"
#include "netplay/startup.h"
#include "platform/headless.h"
#include "runtime/lists.h"
#include "runtime/program.h"

namespace {

// The number under which the host knows its client.
constexpr int32_t kClientConnection = 7;
constexpr int kWarmUpFrames = 100;
constexpr int kTimedFrames = 1500;

double NowMs() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

double Percentile(std::vector<double> values, int percent) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[values.size() * static_cast<size_t>(percent) / 100];
}

// Hands a sent text to the receiving side's reader; returns its size.
int32_t Deliver(netplay::MessageReader& reader, const std::string& text) {
  reader.Feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  return static_cast<int32_t>(text.size());
}

// Turning one way for a while, then the other, and firing every few frames.
netplay::NetKeys Keys(int frame, int turnPeriod, int firePeriod) {
  netplay::NetKeys k;
  k.leftHeld = frame % turnPeriod < turnPeriod / 2;
  k.rightHeld = !k.leftHeld && frame % turnPeriod > turnPeriod * 3 / 4;
  k.spaceHeld = frame % firePeriod < firePeriod / 2;
  k.spaceReleased = frame % firePeriod == firePeriod / 2;
  return k;
}

void AddBlast(netplay::NetMatch& m, int frame) {
  game::BlastItem* blast = ListAdd(m.blasts);
  blast->x = static_cast<float>((frame * 37) % 760);
  blast->y = static_cast<float>((frame * 53) % 560);
  blast->frame = static_cast<float>(game::kImageBlastFirst);
}

}  // namespace

int main() {
  platform::HeadlessPlatform& hp = platform::UseHeadless();
  hp.SetExecutablePath("/nonexistent/skirmora-host");
  ProgramStart(netplay::NetworkProgramHooks());
  if (!netplay::NetplayChecks()) {
    std::printf("startup failed\n");
    return 1;
  }
  netplay::NetplayOpenScreen();
  game::MatchEffects& effects = game::MediaEffects();

  host::HostSession host;
  host.playerName = "Anna";
  host.opponentName = "Ben";
  host.opponentConnection = kClientConnection;
  host.clients.push_back({kClientConnection, 0, host::kEntryNamed, "Ben"});
  host.readers[kClientConnection].Clear();
  join::JoinSession client;
  client.playerName = "Ben";
  client.hostName = "Anna";
  client.link = join::Link::Connected;
  host::HostMatchBegin(host);
  join::JoinMatchBegin(client);

  std::vector<double> hostFrames;
  std::vector<double> clientFrames;
  int32_t toClient = 0;
  int32_t toHost = 0;
  int32_t mostShots = 0;
  int32_t mostBlasts = 0;
  for (int i = 0; i < kWarmUpFrames + kTimedFrames; ++i) {
    if (i % 6 == 0) {
      AddBlast(host.match, i);
      AddBlast(client.match, i + 3);
    }

    std::vector<host::HostAction> hostActions;
    host.bytesThisFrame = toHost;
    double t0 = NowMs();
    ScreenClear(170, 200, 255);
    host::HostMatchStep(host, Keys(i, 120, 8), {}, effects, hostActions);
    host::HostMatchDraw(host, effects);
    const double hostMs = NowMs() - t0;
    toClient = 0;
    for (const host::HostAction& a : hostActions) {
      if (a.kind == host::HostAction::Kind::Send && a.connection == kClientConnection) {
        toClient += Deliver(client.reader, a.text);
      }
    }

    std::vector<join::JoinAction> clientActions;
    client.bytesThisFrame = toClient;
    t0 = NowMs();
    ScreenClear(170, 200, 255);
    join::JoinMatchStep(client, Keys(i + 40, 90, 10), effects, clientActions);
    join::JoinMatchDraw(client, effects);
    const double clientMs = NowMs() - t0;
    toHost = 0;
    for (const join::JoinAction& a : clientActions) {
      if (a.kind == join::JoinAction::Kind::Send) {
        toHost += Deliver(host.readers[kClientConnection], a.text);
      }
    }

    if (i >= kWarmUpFrames) {
      hostFrames.push_back(hostMs);
      clientFrames.push_back(clientMs);
      mostShots = std::max(mostShots, ListCount(host.match.shots));
      mostBlasts = std::max(mostBlasts, ListCount(host.match.blasts));
    }
  }
  ProgramRunEndHooks();

  std::printf("netmatch_host_frame_median: %.3f ms\n", Percentile(hostFrames, 50));
  std::printf("netmatch_host_frame_p95: %.3f ms\n", Percentile(hostFrames, 95));
  std::printf("netmatch_client_frame_median: %.3f ms\n", Percentile(clientFrames, 50));
  std::printf("netmatch_client_frame_p95: %.3f ms\n", Percentile(clientFrames, 95));
  std::printf("netmatch_most_shots_in_flight: %d shots\n", mostShots);
  std::printf("netmatch_most_blasts_in_flight: %d blasts\n", mostBlasts);
  return 0;
}
