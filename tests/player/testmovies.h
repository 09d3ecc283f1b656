// Frames of the fixture recordings (qvtest::Fixture) as ffmpeg decodes them.
#pragma once

#include <QImage>

#include <gst/gst.h>

#include <string>

#include "testsupport.h"

namespace qvtest {

// The frame ffmpeg decodes at `seconds` (as BGRx in a Format_RGB32 image).
QImage FrameAt(const std::string& movie, double seconds, int width, int height);
// A sound output that keeps time and plays nothing.
GstElement* SilentAudioSink();
// Mean absolute difference per colour channel (0..255); 255 for different sizes.
double MeanDifference(const QImage& a, const QImage& b);

// Ways a movie's bytes get damaged while its index stays readable.
enum class Damage { kZeroedData, kRandomData, kChunkMapFromZero, kHugeFirstSample, kTimeScaleZero };
constexpr Damage kAllDamage[] = {Damage::kZeroedData, Damage::kRandomData, Damage::kChunkMapFromZero,
                                 Damage::kHugeFirstSample, Damage::kTimeScaleZero};
// Writes a copy of `movie` with its first track (the video) damaged as
// `damage` says into `dir` and returns its path; empty when the movie lacks
// the box to damage.  The same bytes every time.
std::string DamagedCopy(const std::string& movie, Damage damage, const std::string& dir);

}  // namespace qvtest
