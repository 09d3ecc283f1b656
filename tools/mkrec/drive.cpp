#include "drive.h"

#include <cmath>

namespace qv::rec {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kGravity = 9.80665;
constexpr double kMetresPerDegree = 111320.0;
constexpr double kEventG = 0.35;  // a G excursion beyond this gets an axis mark

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [-1, 1).
  double Symmetric() { return static_cast<double>(Next() >> 11) / 4503599627370496.0 - 1.0; }

 private:
  uint64_t state_;
};

enum class Mark { None, Manual, SupportA, SupportB, SupportH, Emergency, Jolt };

struct Phase {
  double duration;  // seconds; flexible phases get their share of the rest
  double v0, v1;    // km/h at the start and the end
  double yawDegPerSec = 0;
  double flexWeight = 0;  // > 0: a flexible cruise phase
  Mark mark = Mark::None;
  bool curvy = false;  // gentle bends of the road
};

std::vector<Phase> ScenarioPhases(Scenario s) {
  switch (s) {
    case Scenario::Drive:
      return {
          {5, 0, 45, 0, 0, Mark::None, false},      // pull away
          {0, 45, 45, 0, 1, Mark::None, true},      // cruise
          {3, 45, 72, 0, 0, Mark::None, false},     // speed up
          {0, 72, 72, 0, 1, Mark::None, true},      // over speed
          {4, 72, 25, 0, 0, Mark::None, false},     // slow down for the turn
          {2.5, 25, 25, 36, 0, Mark::SupportH, false},  // sharp 90-degree turn
          {3, 25, 50, 0, 0, Mark::None, false},
          {0, 50, 50, 0, 1, Mark::None, true},
          {2, 50, 0, 0, 0, Mark::SupportB, false},  // hard braking
          {1.5, 0, 0, 0, 0, Mark::None, false},     // standing
          {5, 0, 45, 0, 0, Mark::SupportA, false},  // pull away again
          {0, 45, 45, 0, 0.5, Mark::Manual, true},  // manual-recording press
          {3, 45, 68, 0, 0, Mark::None, false},
          {0, 68, 68, 0, 0.5, Mark::None, true},    // over speed again
          {3, 68, 45, 0, 0, Mark::None, false},
          {0, 45, 45, 0, 0.5, Mark::None, true},
      };
    case Scenario::HardBrake:
      return {
          {0, 48, 48, 0, 2, Mark::None, true},
          {1.6, 48, 0, 0, 0, Mark::Emergency, false},
          {1.5, 0, 0, 0, 0, Mark::None, false},
          {3, 0, 35, 0, 0, Mark::None, false},
          {0, 35, 35, 0, 1, Mark::None, true},
      };
    case Scenario::Manual:
      return {
          {0, 40, 40, 0, 1, Mark::None, true},
          {0, 40, 40, 0, 2, Mark::Manual, true},
      };
    case Scenario::Parking:
      return {{0, 0, 0, 0, 1, Mark::None, false}};
    case Scenario::ParkingShock:
      return {
          {0, 0, 0, 0, 1, Mark::None, false},
          {0.3, 0, 0, 0, 0, Mark::Jolt, false},
          {0, 0, 0, 0, 1.5, Mark::None, false},
      };
  }
  return {};
}

// Fits the phases into `total` seconds: flexible phases share what the fixed
// ones leave; when the fixed ones alone are too long they are compressed.
void FitPhases(std::vector<Phase>& phases, double total) {
  double fixed = 0, weights = 0;
  for (const Phase& p : phases) {
    fixed += p.duration;
    weights += p.flexWeight;
  }
  if (fixed > 0 && (weights <= 0 || fixed >= total)) {
    // No room for the flexible phases: the fixed ones share the whole time.
    for (Phase& p : phases) p.duration = p.flexWeight > 0 ? 0 : p.duration * total / fixed;
    return;
  }
  for (Phase& p : phases)
    if (p.flexWeight > 0) p.duration = (total - fixed) * p.flexWeight / weights;
}

}  // namespace

std::vector<DriveRecord> SimulateRun(const RunPlan& plan) {
  std::vector<DriveRecord> out;
  if (plan.records <= 0) return out;
  out.reserve(static_cast<size_t>(plan.records));
  Random rng(plan.seed);
  const double dt = plan.realSecondsPerRecord > 0 ? plan.realSecondsPerRecord : 0.1;
  const double total = dt * plan.records;
  std::vector<Phase> phases = ScenarioPhases(plan.scenario);
  double fixed = 0;
  for (const Phase& p : phases) fixed += p.duration;
  // A drive too short for its events is a plain cruise rather than events
  // squeezed into impossible G values.
  if (plan.scenario == Scenario::Drive && total < fixed) phases = {{0, 45, 45, 0, 1, Mark::None, true}};
  FitPhases(phases, total);
  const bool parked = plan.scenario == Scenario::Parking || plan.scenario == Scenario::ParkingShock;
  const double curvePhase = rng.Symmetric() * kPi;
  const int64_t startSeconds = ToSeconds(plan.start);

  double lat = plan.latitude, lon = plan.longitude, heading = plan.headingDeg;
  size_t phaseIndex = 0;
  double phaseStart = 0;
  size_t lastPhase = static_cast<size_t>(-1);
  bool aboveX = false, aboveY = false;
  double joltLeft = 0;

  for (int k = 0; k < plan.records; ++k) {
    const double t = k * dt;
    while (phaseIndex + 1 < phases.size() && t >= phaseStart + phases[phaseIndex].duration) {
      phaseStart += phases[phaseIndex].duration;
      ++phaseIndex;
    }
    const Phase& ph = phases[phaseIndex];
    // The marks of every phase begun since the last record (a phase too
    // short for a record of its own still leaves its mark).
    std::vector<Mark> marks;
    for (size_t i = lastPhase == static_cast<size_t>(-1) ? 0 : lastPhase + 1; i <= phaseIndex && lastPhase != phaseIndex;
         ++i)
      marks.push_back(phases[i].mark);
    lastPhase = phaseIndex;
    double frac = ph.duration > 0 ? (t - phaseStart) / ph.duration : 1.0;
    if (frac > 1) frac = 1;
    const double v = ph.v0 + (ph.v1 - ph.v0) * frac;  // km/h
    const double accel = ph.duration > 0 ? (ph.v1 - ph.v0) / 3.6 / ph.duration : 0;  // m/s^2
    double yaw = ph.yawDegPerSec;
    if (ph.curvy && v > 5) yaw += 2.5 * std::sin(2 * kPi * t / 47.0 + curvePhase);

    DriveRecord r;
    r.leadNumber = k;
    const double vibration = parked ? 0.004 : 0.01 + 0.015 * v / 60.0;
    r.gX = accel / kGravity + vibration * rng.Symmetric();
    r.gY = (v / 3.6) * (yaw * kPi / 180.0) / kGravity + vibration * rng.Symmetric();
    r.gZ = 1.0 + vibration * rng.Symmetric();
    for (Mark m : marks)
      if (m == Mark::Jolt) joltLeft = 0.3;
    if (joltLeft > 0) {
      r.gX += 0.8;
      r.gY -= 0.4;
      r.gZ += 0.25;
      joltLeft -= dt;
    }
    // Axis mark where a G excursion begins.
    const bool overX = std::fabs(r.gX) >= kEventG, overY = std::fabs(r.gY) >= kEventG;
    if ((overX && !aboveX) || (overY && !aboveY)) r.axis = std::fabs(r.gX) >= std::fabs(r.gY) ? 'X' : 'Y';
    aboveX = overX;
    aboveY = overY;

    for (Mark m : marks) {
      switch (m) {
        case Mark::Manual: r.manual = true; break;
        case Mark::SupportA: r.support = 'A'; break;
        case Mark::SupportB: r.support = 'B'; break;
        case Mark::SupportH: r.support = 'H'; break;
        case Mark::Emergency: r.emergency = true; break;
        default: break;
      }
    }
    if (parked && k == 0) r.parking = true;

    r.valid = !(plan.coldStart && t < 1.0);
    if (r.valid) {
      double jitter = parked ? 0.000004 : 0.0;
      r.latitude = lat + jitter * rng.Symmetric();
      r.longitude = lon + jitter * rng.Symmetric();
      r.speed = v;
      r.extra87 = '1';
    } else {
      r.latitude = r.longitude = 0;
      r.speed = 0;
      r.extra87 = '0';
    }
    r.overSpeed = r.valid && std::llround(v) > kSpeedLimit;
    if (r.overSpeed) r.number88 = kSpeedLimit;

    CivilTime ct = CivilFromSeconds(startSeconds + static_cast<int64_t>(std::floor(t + 1e-9)));
    r.year = ct.year;
    r.month = ct.month;
    r.day = ct.day;
    r.hour = ct.hour;
    r.minute = ct.minute;
    r.second = ct.second;
    out.push_back(r);

    // Move on along the road.
    const double metres = v / 3.6 * dt;
    heading += yaw * dt;
    const double h = heading * kPi / 180.0;
    lat += metres * std::cos(h) / kMetresPerDegree;
    lon += metres * std::sin(h) / (kMetresPerDegree * std::cos(lat * kPi / 180.0));
  }
  return out;
}

void UseAddSecondsForm(std::vector<DriveRecord>& records) {
  if (records.empty()) return;
  const DriveRecord first = records.front();
  const int64_t base = CivilSeconds(first.year, first.month, first.day, first.hour, first.minute, first.second);
  for (DriveRecord& r : records) {
    int64_t add = CivilSeconds(r.year, r.month, r.day, r.hour, r.minute, r.second) - base;
    if (add < 0 || add > 999) continue;
    r.year = first.year;
    r.month = first.month;
    r.day = first.day;
    r.hour = first.hour;
    r.minute = first.minute;
    r.second = first.second;
    r.addSeconds = static_cast<int>(add);
  }
}

}  // namespace qv::rec
