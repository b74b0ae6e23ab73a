#pragma once
// Where the client draws the two planes. The host is authoritative and sends
// both positions every frame, but over a real network its plane states arrive
// late and in bursts. The view plays them out at an even pace behind a small
// delay that adapts to how unevenly they arrive, keeps a plane flying on its
// known heading when no state is due yet, predicts the client's own plane by
// replaying its own headings that the host has not yet applied, and blends
// every correction onto the host's positions over a few frames instead of
// jumping. On a perfect link (every state arriving in the frame it was sent,
// one frame of round trip) it shows exactly the states as they arrive.
//
// The round trip is found without any change to the wire: the host's plane
// states show where it flew the client's plane, so the view tries every lag
// between the client's own headings and the host's frames and keeps the one
// under which those headings explain the host's positions.

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "netplay/protocol.h"

namespace join {

// A plane state as the view keeps it: the host's frame it came from (counted
// from 0 in arrival order) and the client frame it arrived in.
struct ViewState {
  int32_t index = 0;
  int32_t arrivalFrame = 0;
  float hostHeading = 0.0f;
  float hostX = 0.0f;
  float hostY = 0.0f;
  float clientX = 0.0f;
  float clientY = 0.0f;
  bool fire = false;
  bool steady = false;  // every state of the latest ones arrived as evenly as the host sent it
  // The client plane's place worked out to a fraction of a pixel: the middle
  // of what is left open by flying the states before on the own headings the
  // host flew them on, each within half a pixel of the whole-pixel position
  // the host sent.
  float trackX = 0.0f;
  float trackY = 0.0f;
  // What the positions sent so far leave open for it.
  float lowX = 0.0f;
  float highX = 0.0f;
  float lowY = 0.0f;
  float highY = 0.0f;
  // The same for the host's plane, flown on the headings the host sent.
  float hostTrackX = 0.0f;
  float hostTrackY = 0.0f;
  float hostLowX = 0.0f;
  float hostHighX = 0.0f;
  float hostLowY = 0.0f;
  float hostHighY = 0.0f;
};

// A position on screen.
struct ViewPoint {
  float x = 0.0f;
  float y = 0.0f;
};

// What the view shows in a frame.
struct ViewFrame {
  ViewPoint host;
  float hostHeading = 0.0f;
  ViewPoint client;
  bool any = false;  // false until the first plane state arrived: keep the starting places
};

class PlaneView {
 public:
  // Frames of own headings kept, and the most frames the view looks back.
  static constexpr int32_t kHistory = 512;
  // Most lag (in frames) between the own headings and the host's frames that
  // the round-trip search tries.
  static constexpr int32_t kMostLag = 180;
  // Most frames of delay the playout adds over the earliest arrivals, so that
  // a stall does not leave the picture far behind for long.
  static constexpr int32_t kMostPlayout = 8;
  // Most plane states kept waiting; a flood beyond it is dropped, oldest first.
  static constexpr size_t kMostWaiting = 600;

  // A new match: the own heading before the first frame.
  void Begin(float ownHeading);

  // Frame bookkeeping, in this order within a client frame: the own heading
  // that is sent in this frame, then every plane state read in it, then
  // Show, which tells where to draw both planes and which of the states
  // became due in this frame (in order, for their shots).
  void NoteOwnHeading(float heading);
  void Receive(const netplay::PlaneStateFields& state);
  ViewFrame Show(std::vector<ViewState>& due);

  // The round trip in frames (a heading sent, then the first plane state that
  // follows it arriving at the earliest), and whether a turn has shown it yet.
  int32_t RoundTripFrames() const { return lowestOffset_ + lag_; }
  bool RoundTripKnown() const { return lagKnown_; }
  // The playout delay in frames, over the order of the host's frames.
  float PlayoutFrames() const { return delay_; }
  int32_t Frame() const { return frame_; }
  // Plane states kept: the one shown and those not yet due.
  size_t Waiting() const { return waiting_.size(); }

 private:
  ViewPoint HostRaw(int32_t atFrame, double played, float* heading) const;
  ViewPoint ClientRaw(int32_t atFrame, double played) const;
  ViewPoint Predict(const ViewState& base, int32_t atFrame) const;
  ViewPoint Move(int32_t frame) const;
  void MeasureLag();
  const ViewState* Find(int32_t index) const;

  int32_t frame_ = -1;                       // the current client frame, from 0
  std::array<ViewPoint, kHistory> moves_{};  // one frame's flight on each own heading
  ViewPoint startMove_;                      // on the heading the match began with

  std::deque<ViewState> waiting_;    // states not yet played out, and the one shown
  int32_t received_ = 0;             // plane states received so far
  int32_t played_ = -1;              // last state handed out as due
  std::vector<ViewState> overflow_;  // dropped by a flood before they were due
  std::deque<int32_t> offsets_;      // arrival frame minus index of the latest states
  int32_t lowestOffset_ = 0;
  int32_t highestOffset_ = 0;
  float delay_ = 0.0f;

  // Blue positions of the latest states for the round-trip search.
  std::deque<ViewState> recent_;
  std::array<float, 2 * kMostLag + 1> lagCost_{};
  int32_t lag_ = 1;  // host frame index minus the own heading frame it flew on
  bool lagKnown_ = false;

  bool shownOnce_ = false;
  double lastPlayed_ = 0.0;
  ViewPoint lastHostRaw_;
  ViewPoint lastClientRaw_;
  ViewPoint hostCorrection_;
  ViewPoint clientCorrection_;
};

}  // namespace join
