// A simulated drive: the records a recorder would write while a car moves
// along a road (or stands parked), deterministic for a seed.
#pragma once

#include <cstdint>
#include <vector>

#include "blockwriter.h"
#include "platform/civiltime.h"

namespace qv::rec {

enum class Scenario {
  Drive,         // pull away, over-speed spans, sharp turn, hard braking, manual press
  HardBrake,     // cruise, then a hard braking with an emergency-stop mark
  Manual,        // cruise with one manual-recording press
  Parking,       // standing still, parking mark at the start
  ParkingShock,  // standing still, a jolt while parked
};

struct RunPlan {
  Scenario scenario = Scenario::Drive;
  uint64_t seed = 1;
  double latitude = 35.658;    // start position, degrees (south / west negative)
  double longitude = 139.7016;
  double headingDeg = 60;      // 0 = north, 90 = east
  CivilTime start;             // real time of record 0 (whole seconds)
  int records = 0;
  double realSecondsPerRecord = 0.1;  // 0.1 normal; longer for time-lapse
  bool coldStart = false;             // no fix during the first second
};

// The run's records, record 0 at plan.start.  Record i's lead number is i.
std::vector<DriveRecord> SimulateRun(const RunPlan& plan);

// Rewrites the records' times as "date and time of the first record plus
// seconds to add" (the other form the recorder writes).  Records more than
// 999 seconds after the first keep their own time.
void UseAddSecondsForm(std::vector<DriveRecord>& records);

// Speed above which the records carry the over-speed mark (km/h).
constexpr int kSpeedLimit = 60;

}  // namespace qv::rec
