// The fixture recordings the player tests play, and frames extracted from them.
#pragma once

#include <QImage>

#include <string>

namespace qvtest {

// The path of a fixture recording by its role in the fixture tree's
// MANIFEST.txt (e.g. "run-1-F"); empty when there is none.
std::string Fixture(const std::string& role);
// The frame ffmpeg decodes at `seconds` (as BGRx in a Format_RGB32 image).
QImage FrameAt(const std::string& movie, double seconds, int width, int height);
// Mean absolute difference per colour channel (0..255); 255 for different sizes.
double MeanDifference(const QImage& a, const QImage& b);

}  // namespace qvtest
