#include "join/join_view.h"

#include <algorithm>
#include <cmath>

#include "game/records.h"
#include "netplay/match.h"

namespace join {
namespace {

// The planes wrap between -32 and 832 across and -32 and 632 down.
constexpr float kWrapWidth = 864.0f;
constexpr float kWrapHeight = 664.0f;
constexpr float kLeftEdge = -32.0f;
constexpr float kTopEdge = -32.0f;

// Offsets of this many latest states decide the playout delay.
constexpr size_t kOffsetWindow = 120;
// An offset this far from the others means the host was silent or flooded:
// the earlier offsets say nothing about the link any more.
constexpr int32_t kOffsetBreak = 60;
// The playout delay slides towards its target by at most this much a frame:
// the picture runs at 94 % or 103 % of the host's pace meanwhile.
constexpr float kDelayRise = 1.0f / 16.0f;
constexpr float kDelayFall = 1.0f / 32.0f;
// A plane is flown on beyond the newest state for at most this many frames;
// after that it waits where it is for the host to be heard again.
constexpr double kMostExtrapolated = 30.0;
// Plane states over which the round-trip search compares the host's
// positions with the own headings.
constexpr size_t kLagWindow = 60;
// Two rounded positions differ from the exact path by at most one pixel on
// each axis; a mismatch beyond that counts against a lag.
constexpr float kLagSlack = 1.02f;
constexpr float kLagCostKeep = 0.97f;
constexpr float kLagSwitchMargin = 0.25f;
// A step between two states longer than this is a wrap (or a jump the host
// made): the search leaves such windows out.
constexpr float kLagMostStep = 8.0f;
// Corrections: a jump of the computed position is taken into the correction
// and worked off by a quarter a frame, at most one pixel a frame. A jump
// longer than this is a wrap or the host placing a plane anew: shown at once.
constexpr float kCorrectionKeep = 0.75f;
constexpr float kMostCorrectionStep = 1.0f;
constexpr float kMostCorrection = 48.0f;

float Centre(float d, float period) {
  if (d > period / 2.0f) d -= period * std::round(d / period);
  if (d < -period / 2.0f) d -= period * std::round(d / period);
  return d;
}

ViewPoint Difference(ViewPoint a, ViewPoint b) {
  return {Centre(a.x - b.x, kWrapWidth), Centre(a.y - b.y, kWrapHeight)};
}

ViewPoint Normalised(ViewPoint p) {
  if (p.x > kLeftEdge + kWrapWidth) p.x -= kWrapWidth;
  if (p.x < kLeftEdge) p.x += kWrapWidth;
  if (p.y > kTopEdge + kWrapHeight) p.y -= kWrapHeight;
  if (p.y < kTopEdge) p.y += kWrapHeight;
  return p;
}

ViewPoint Between(ViewPoint a, ViewPoint b, double fraction) {
  if (fraction == 0.0) return a;
  const ViewPoint d = Difference(b, a);
  const float f = static_cast<float>(fraction);
  return Normalised({a.x + d.x * f, a.y + d.y * f});
}

// One frame of flight on a heading, with the host's arithmetic.
ViewPoint Step(float heading) {
  const float radians = heading * game::kDegToRad;
  return {std::cos(radians) * netplay::kNetPlaneSpeed, std::sin(radians) * netplay::kNetPlaneSpeed};
}

float Length(ViewPoint p) {
  return std::sqrt(p.x * p.x + p.y * p.y);
}

// Takes a jump of the computed position into the correction, then works a
// part of it off.
void Correct(ViewPoint& correction, ViewPoint jump) {
  if (Length(jump) <= kMostCorrection) {
    correction.x += jump.x;
    correction.y += jump.y;
  } else {
    correction = {};
  }
  if (Length(correction) > kMostCorrection) correction = {};
  ViewPoint step{correction.x * (1.0f - kCorrectionKeep), correction.y * (1.0f - kCorrectionKeep)};
  const float length = Length(step);
  if (length > kMostCorrectionStep) {
    step.x *= kMostCorrectionStep / length;
    step.y *= kMostCorrectionStep / length;
  }
  correction.x -= step.x;
  correction.y -= step.y;
}

ViewPoint Plus(ViewPoint a, ViewPoint b) {
  if (b.x == 0.0f && b.y == 0.0f) return a;
  return Normalised({a.x + b.x, a.y + b.y});
}

}  // namespace

void PlaneView::Begin(float ownHeading) {
  *this = PlaneView();
  startMove_ = Step(ownHeading);
}

void PlaneView::NoteOwnHeading(float heading) {
  frame_ += 1;
  moves_[static_cast<size_t>(frame_ % kHistory)] = Step(heading);
}

ViewPoint PlaneView::Move(int32_t frame) const {
  if (frame < 0 || frame_ < 0) return startMove_;
  frame = std::clamp(frame, std::max(0, frame_ - kHistory + 1), frame_);
  return moves_[static_cast<size_t>(frame % kHistory)];
}

const ViewState* PlaneView::Find(int32_t index) const {
  if (waiting_.empty()) return nullptr;
  const int32_t first = waiting_.front().index;
  if (index < first || index > waiting_.back().index) return nullptr;
  return &waiting_[static_cast<size_t>(index - first)];
}

void PlaneView::Receive(const netplay::PlaneStateFields& fields) {
  const int32_t offset = frame_ - received_;
  if (!offsets_.empty() &&
      (offset > highestOffset_ + kOffsetBreak || offset < lowestOffset_ - kOffsetBreak)) {
    offsets_.clear();
  }
  offsets_.push_back(offset);
  if (offsets_.size() > kOffsetWindow) offsets_.pop_front();
  lowestOffset_ = *std::min_element(offsets_.begin(), offsets_.end());
  highestOffset_ = *std::max_element(offsets_.begin(), offsets_.end());

  ViewState state;
  state.index = received_;
  state.arrivalFrame = frame_;
  state.hostHeading = fields.hostHeading;
  state.hostX = fields.hostX;
  state.hostY = fields.hostY;
  state.clientX = fields.clientX;
  state.clientY = fields.clientY;
  state.fire = fields.fire;
  state.steady = highestOffset_ == lowestOffset_;
  state.lowX = state.clientX - 0.5f;
  state.highX = state.clientX + 0.5f;
  state.lowY = state.clientY - 0.5f;
  state.highY = state.clientY + 0.5f;
  state.hostLowX = state.hostX - 0.5f;
  state.hostHighX = state.hostX + 0.5f;
  state.hostLowY = state.hostY - 0.5f;
  state.hostHighY = state.hostY + 0.5f;
  if (!recent_.empty()) {
    // The host sends its positions rounded to whole pixels: its own position
    // lies within half a pixel of each. Flying what the states before left
    // open on by one frame and keeping what is also within half a pixel of
    // this one narrows it down to a small part of a pixel within a few
    // frames. A wrap puts the plane exactly on the far edge, and a heading
    // the host flew that differs from the one assumed leaves nothing open:
    // that axis starts anew.
    const ViewState& before = recent_.back();
    const ViewPoint m = Move(state.index - lag_);
    auto narrow = [](float beforeLow, float beforeHigh, float step, float& low, float& high) {
      const float l = std::max(low, beforeLow + step);
      const float h = std::min(high, beforeHigh + step);
      if (l <= h) {
        low = l;
        high = h;
      }
    };
    if (std::fabs(state.clientX - before.clientX) <= kLagMostStep) {
      narrow(before.lowX, before.highX, m.x, state.lowX, state.highX);
    }
    if (std::fabs(state.clientY - before.clientY) <= kLagMostStep) {
      narrow(before.lowY, before.highY, m.y, state.lowY, state.highY);
    }
    // The host turns its plane, then flies it, on the heading it sends.
    const ViewPoint h = Step(state.hostHeading);
    if (std::fabs(state.hostX - before.hostX) <= kLagMostStep) {
      narrow(before.hostLowX, before.hostHighX, h.x, state.hostLowX, state.hostHighX);
    }
    if (std::fabs(state.hostY - before.hostY) <= kLagMostStep) {
      narrow(before.hostLowY, before.hostHighY, h.y, state.hostLowY, state.hostHighY);
    }
  }
  state.hostTrackX = (state.hostLowX + state.hostHighX) / 2.0f;
  state.hostTrackY = (state.hostLowY + state.hostHighY) / 2.0f;
  state.trackX = (state.lowX + state.highX) / 2.0f;
  state.trackY = (state.lowY + state.highY) / 2.0f;
  received_ += 1;
  waiting_.push_back(state);
  while (waiting_.size() > kMostWaiting) {
    if (waiting_.front().index > played_) overflow_.push_back(waiting_.front());
    waiting_.pop_front();
  }
  recent_.push_back(state);
  if (recent_.size() > kLagWindow + 1) recent_.pop_front();
  MeasureLag();
}

void PlaneView::MeasureLag() {
  if (recent_.size() < kLagWindow + 1) return;
  for (size_t i = 1; i < recent_.size(); ++i) {
    if (std::fabs(recent_[i].clientX - recent_[i - 1].clientX) > kLagMostStep ||
        std::fabs(recent_[i].clientY - recent_[i - 1].clientY) > kLagMostStep) {
      return;
    }
  }
  const ViewState& first = recent_.front();
  const ViewState& last = recent_.back();
  const float dx = last.clientX - first.clientX;
  const float dy = last.clientY - first.clientY;
  const int32_t lowLag = std::max(-kMostLag, 1 - lowestOffset_);
  const int32_t highLag = std::min(kMostLag, kMostLag - lowestOffset_);
  if (lowLag > highLag) return;
  auto cost = [&](int32_t lag) -> float& { return lagCost_[static_cast<size_t>(lag + kMostLag)]; };
  for (int32_t lag = lowLag; lag <= highLag; ++lag) {
    float sx = 0.0f;
    float sy = 0.0f;
    for (int32_t i = first.index + 1; i <= last.index; ++i) {
      const ViewPoint m = Move(i - lag);
      sx += m.x;
      sy += m.y;
    }
    const float miss = std::max(std::fabs(dx - sx), std::fabs(dy - sy));
    const float over = std::max(0.0f, miss - kLagSlack);
    cost(lag) = cost(lag) * kLagCostKeep + over * over;
  }
  const int32_t current = std::clamp(lag_, lowLag, highLag);
  int32_t best = current;
  for (int32_t lag = lowLag; lag <= highLag; ++lag) {
    if (cost(lag) < cost(best)) best = lag;
  }
  if (current != lag_ || cost(best) + kLagSwitchMargin < cost(current)) lag_ = best;
  if (!lagKnown_) {
    const float here = cost(lag_);
    const bool below = lag_ - 1 < lowLag || cost(lag_ - 1) >= here + kLagSwitchMargin;
    const bool above = lag_ + 1 > highLag || cost(lag_ + 1) >= here + kLagSwitchMargin;
    lagKnown_ = below && above;
  }
}

ViewPoint PlaneView::HostRaw(int32_t atFrame, double played, float* heading) const {
  // On an even link a state shown in the frame it arrived in is shown as
  // the host sent it (so a perfect link shows exactly what the host sent);
  // otherwise its finer track, so that the waiting and the blending do not
  // bring the host's rounding into the picture.
  auto place = [atFrame](const ViewState& s) -> ViewPoint {
    if (s.steady && s.arrivalFrame == atFrame) return {s.hostX, s.hostY};
    return {s.hostTrackX, s.hostTrackY};
  };
  const ViewState& newest = waiting_.back();
  const double whole = std::floor(played);
  if (whole >= newest.index) {
    *heading = newest.hostHeading;
    const ViewPoint at = place(newest);
    const double ahead = std::min(played - newest.index, kMostExtrapolated);
    if (ahead <= 0.0) return at;
    // Flown on as the host flies it, its wrap included, and the part of a
    // frame beyond the whole frames.
    const ViewPoint step = Step(newest.hostHeading);
    game::PlaneState plane;
    plane.x = at.x;
    plane.y = at.y;
    double left = ahead;
    for (; left >= 1.0; left -= 1.0) {
      plane.x += step.x;
      plane.y += step.y;
      game::WrapPlane(plane, false);
    }
    const float f = static_cast<float>(left);
    return Normalised({plane.x + step.x * f, plane.y + step.y * f});
  }
  const ViewState* s0 = Find(static_cast<int32_t>(whole));
  if (s0 == nullptr) s0 = &waiting_.front();
  const ViewState* s1 = Find(s0->index + 1);
  const double fraction = played - s0->index;
  if (s1 == nullptr || fraction <= 0.0) {
    *heading = s0->hostHeading;
    return place(*s0);
  }
  *heading = fraction < 0.5 ? s0->hostHeading : s1->hostHeading;
  return Between(place(*s0), place(*s1), fraction);
}

ViewPoint PlaneView::Predict(const ViewState& base, int32_t atFrame) const {
  // The host flew the base state on the own heading of frame base - lag; the
  // headings sent after it are still on their way or not applied yet.
  const int32_t from = base.index - lag_ + 1;
  const int32_t to = std::min(atFrame - 1, from + kHistory);
  // Nothing to replay: the host's own position, as it sent it.
  if (from == atFrame) return {base.clientX, base.clientY};
  float x = base.trackX;
  float y = base.trackY;
  if (from <= to) {
    // Flown frame by frame as the host flies it, its wrap included.
    game::PlaneState plane;
    plane.x = x;
    plane.y = y;
    for (int32_t k = from; k <= to; ++k) {
      const ViewPoint m = Move(k);
      plane.x += m.x;
      plane.y += m.y;
      game::WrapPlane(plane, false);
    }
    return {plane.x, plane.y};
  } else {
    // A base that already holds headings sent after the frame asked for.
    for (int32_t k = std::max(atFrame, from - kHistory); k < from; ++k) {
      const ViewPoint m = Move(k);
      x -= m.x;
      y -= m.y;
    }
  }
  // The host will draw it at whole pixels; so does the view, so that the
  // own plane steps as it does on the host's screen.
  return Normalised({x, y});
}

ViewPoint PlaneView::ClientRaw(int32_t atFrame, double played) const {
  const ViewState& newest = waiting_.back();
  const double whole = std::floor(played);
  if (whole >= newest.index) return Predict(newest, atFrame);
  const ViewState* s0 = Find(static_cast<int32_t>(whole));
  if (s0 == nullptr) s0 = &waiting_.front();
  const ViewState* s1 = Find(s0->index + 1);
  const double fraction = played - s0->index;
  if (s1 == nullptr || fraction <= 0.0) return Predict(*s0, atFrame);
  return Between(Predict(*s0, atFrame), Predict(*s1, atFrame), fraction);
}

ViewFrame PlaneView::Show(std::vector<ViewState>& due) {
  ViewFrame out;
  for (const ViewState& s : overflow_) due.push_back(s);
  if (!overflow_.empty()) played_ = std::max(played_, overflow_.back().index);
  overflow_.clear();
  if (waiting_.empty()) return out;

  const float target = static_cast<float>(std::min(highestOffset_, lowestOffset_ + kMostPlayout));
  if (!shownOnce_) {
    delay_ = target;
  } else if (target > delay_) {
    delay_ = std::min(target, delay_ + kDelayRise);
  } else if (target < delay_) {
    delay_ = std::max(target, delay_ - kDelayFall);
  }
  double played = static_cast<double>(frame_) - delay_;
  if (played < waiting_.front().index) {
    played = waiting_.front().index;
    delay_ = static_cast<float>(frame_ - waiting_.front().index);
  }

  float heading = 0.0f;
  const ViewPoint hostRaw = HostRaw(frame_, played, &heading);
  const ViewPoint clientRaw = ClientRaw(frame_, played);
  if (shownOnce_) {
    // What the previous frame showed, worked out again with what is known
    // now: any difference is new knowledge, blended in over a few frames.
    float unused = 0.0f;
    Correct(hostCorrection_, Difference(lastHostRaw_, HostRaw(frame_ - 1, lastPlayed_, &unused)));
    // The own plane is also worked out from the newer state now shown: what
    // that changes is new knowledge too (a heading the host flew late, say),
    // unless the host's own position is shown as it is.
    ViewPoint jump = Difference(lastClientRaw_, ClientRaw(frame_ - 1, lastPlayed_));
    const int32_t base = std::min(static_cast<int32_t>(std::floor(played)), waiting_.back().index);
    if (base - lag_ + 1 != frame_) {
      const ViewPoint advance = Difference(ClientRaw(frame_, lastPlayed_), clientRaw);
      jump.x += advance.x;
      jump.y += advance.y;
    }
    Correct(clientCorrection_, jump);
  }
  out.any = true;
  out.host = Plus(hostRaw, hostCorrection_);
  out.hostHeading = heading;
  out.client = Plus(clientRaw, clientCorrection_);

  const int32_t dueUpTo = std::min(static_cast<int32_t>(std::floor(played)), waiting_.back().index);
  for (int32_t i = std::max(played_ + 1, waiting_.front().index); i <= dueUpTo; ++i) {
    due.push_back(*Find(i));
  }
  played_ = std::max(played_, dueUpTo);

  shownOnce_ = true;
  lastPlayed_ = played;
  lastHostRaw_ = hostRaw;
  lastClientRaw_ = clientRaw;
  // Keep the state now shown: the next frame works this one out again.
  while (waiting_.size() > 1 && waiting_[1].index <= std::floor(played)) waiting_.pop_front();
  return out;
}

}  // namespace join
