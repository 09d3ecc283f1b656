// Frames of the fixture recordings (qvtest::Fixture) as ffmpeg decodes them.
#pragma once

#include <QImage>

#include <string>

#include "testsupport.h"

namespace qvtest {

// The frame ffmpeg decodes at `seconds` (as BGRx in a Format_RGB32 image).
QImage FrameAt(const std::string& movie, double seconds, int width, int height);
// Mean absolute difference per colour channel (0..255); 255 for different sizes.
double MeanDifference(const QImage& a, const QImage& b);

}  // namespace qvtest
