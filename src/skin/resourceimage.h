// The program's skin images, loaded by id.
//
// Every image is drawn as an SVG file in the program's Qt resources
// (":/skin/svg/..."), listed with its id, pixel size, cell layout and colour
// key in ":/skin/manifest.txt".  An image is rendered once at its listed size
// (or at a scaled size for the scaled button strips) and shared.
//
// Images carry real transparency where the skin's colour key would be (black
// in button strips and slider parts, white in faces and badges); KeyedImage
// gives the opaque copy with the key colour filled in, for drawing code that
// wants exactly the colour-keyed form.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QSize>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rect.h"

namespace qv {

struct SkinImageInfo {
  int id = 0;
  std::string kind;    // bitmap, png, icon, cursor or mask
  int width = 0;
  int height = 0;
  int bits = 0;        // bits per pixel of the image's role (24, 32, 1)
  int cells = 1;       // images side by side
  std::string key;     // black, white, 0x010101, none or alpha
  std::string source;  // file under :/skin/
  std::string role;
};

// Parses the manifest's text; on a malformed line answers an empty list and
// says why in `error`.
std::vector<SkinImageInfo> ParseSkinManifest(std::string_view text, std::string* error);

// The manifest of the program's resources (read once).
const std::vector<SkinImageInfo>& SkinManifest();
// The manifest entry of an id, or null.
const SkinImageInfo* FindSkinImage(int id);

// Renders an image at `size` (its listed size when empty); a null image for
// an unknown id or a source that does not render.
QImage RenderSkinImage(int id, QSize size = QSize());
// The image at its listed size, rendered once and shared; null when missing.
QImage SkinImage(int id);
// The opaque colour-keyed copy: transparent pixels become the key colour.
QImage KeyedImage(int id);
// The key colour of an entry (black when it names none).
QColor SkinKeyColor(const SkinImageInfo& info);

// The size a skin bitmap takes at display scale s: height trunc(h * s); a
// strip of square cells keeps its cells square (width = cells * the scaled
// height), any other image is trunc(w * s) wide.
QSize ScaledSkinSize(int width, int height, float s);
// The image rendered directly at its scaled size (sharper than stretching).
QImage ScaledSkinImage(int id, float s);
// One cell of a strip.
QImage SkinCell(const QImage& strip, int cells, int index);

// The image holder of the main window: every image the panels draw, loaded
// once by Load and kept for the life of the window.
class CResourceImage {
 public:
  CResourceImage() = default;

  // Loads the whole table; s is the display scale (for the gauge surface).
  // A missing image leaves its slot empty.
  void Load(float s);
  bool IsLoaded() const { return loaded_; }

  // The image of an id (null QImage when missing or not loaded).
  QImage Image(int id) const;
  QSize ImageSize(int id) const;
  // The application icon (171) and the monochrome needle mask (313).
  QIcon AppIcon() const { return appIcon_; }
  QImage NeedleMask() const { return Image(313); }
  // The gauge drawing surface: int(210 s) x int(170 s).
  QImage& GaugeSurface() { return gaugeSurface_; }
  // The white brush colour used to frame the logo.
  static QColor FrameColor() { return QColor(255, 255, 255); }

  // Ids loaded by Load, in load order.
  static const std::vector<int>& LoadOrder();

 private:
  bool loaded_ = false;
  std::map<int, QImage> images_;
  QIcon appIcon_;
  QImage gaugeSurface_;
};

// The shared back buffer: an image as large as the largest screen (in device
// pixels), which the panels draw into before copying to their window.
class COffScreenDC {
 public:
  // Makes the buffer; a width or height of 0 takes the screens' largest.
  // Answers whether the buffer exists.
  bool Create(int width = 0, int height = 0);
  QImage& Image() { return image_; }
  bool IsValid() const { return !image_.isNull(); }

 private:
  QImage image_;
};

// The text state bound to the back buffer: font, background and text colour.
class CLapTimeArea {
 public:
  void Bind(COffScreenDC* dc, const QFont& font) {
    dc_ = dc;
    font_ = font;
  }
  COffScreenDC* Surface() const { return dc_; }
  const QFont& Font() const { return font_; }
  QColor Background() const { return QColor(0x3F, 0x3F, 0x3F); }
  QColor TextColor() const { return QColor(0xFF, 0xFF, 0xFF); }

 private:
  COffScreenDC* dc_ = nullptr;
  QFont font_;
};

}  // namespace qv
