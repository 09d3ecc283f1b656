// The on-screen text layer of a player slot: a 300 x 120 surface with green
// text on black, shown over the picture with black as the colour key, in the
// picture's bottom right corner (see OsdPlacement).
//
// The slot draws the text on the window thread; the pane paints the layer in
// its paintEvent after the frame.
#pragma once

#include <QImage>
#include <QString>

#include <mutex>
#include <string>

#include "platform/rect.h"
#include "player/slotrules.h"

class QPainter;

namespace qv {

class OsdLayer {
 public:
  // Draws `text` (UTF-8, word-wrapped) in the face `face`, bold, 42 points.
  void Draw(const std::string& text, const std::string& face);
  // Where the layer goes, in fractions of the picture.
  void SetPlace(const OsdPlace& place);
  // Drops the layer (nothing is shown).
  void Clear();
  bool Visible() const;
  // The surface as drawn (RGB32, black background); null when none.
  QImage Surface() const;
  // Paints the layer over the picture occupying `picture` in the window:
  // every pixel that is not black.
  void Paint(QPainter& painter, const Rect& picture) const;

 private:
  mutable std::mutex lock_;
  QImage surface_;  // RGB32, black key
  QImage keyed_;    // ARGB32 premultiplied, black made transparent
  OsdPlace place_;
};

}  // namespace qv
