// Window-side helpers shared by the dialogs: monitors, child rectangles,
// scaling a dialog's controls, scaled bitmaps and the folder browser.  The
// helpers without a window system are in platform/apphelpers.h.
// Window thread only.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

#include <functional>
#include <optional>
#include <string>

#include "platform/rect.h"

class QWidget;

namespace qv {

// The work area and the whole area of the monitor nearest to a point; a
// null pointer skips that rectangle.
void GetMonitorRects(Rect* workArea, Rect* monitorArea, Point point);

// A widget's rectangle on the screen: the frame of a top-level window, the
// widget itself for a child.
Rect GetWindowRect(const QWidget* widget);

// The child's window rectangle in the parent's window coordinates, one pixel
// higher than the plain difference.
Rect GetChildRectInParent(const QWidget* parent, const QWidget* child);

// Moves and sizes a direct child of `parentWindow` by UiScale: its offset
// from the parent's window origin and its size, each scaled and truncated.
// Widgets that are not direct children are left alone.  Always true.
bool MoveControlScaled(QWidget* child, QWidget* parentWindow);
// MoveControlScaled for every direct child of a dialog (after its controls
// exist, laid out in design pixels).
void ScaleDialogControls(QWidget* dialog);

// A bitmap scaled by UiScale: height trunc(h × UiScale); a strip of square
// cells keeps its cells equally wide.  A null pixmap when the image cannot
// be loaded or has no height.
QPixmap LoadScaledBitmap(const QString& path);
QPixmap LoadScaledBitmap(const QImage& image);

// The folder dialog behind BrowseForFolder; tests put their own in place.
class FolderBrowser {
 public:
  struct Choice {
    bool chosen = false;  // false: cancelled
    std::string path;     // empty when the chosen item has no file-system path
  };
  virtual ~FolderBrowser() = default;
  virtual Choice Browse(QWidget* parent, const std::string& startFolder, const std::string& title) = 0;
};

// The program's folder dialog (Qt's own, not the desktop's).
class DialogFolderBrowser : public FolderBrowser {
 public:
  Choice Browse(QWidget* parent, const std::string& startFolder, const std::string& title) override;
};

// Puts a browser in place (not owned); null restores the dialog.
void SetFolderBrowser(FolderBrowser* browser);

// How BrowseForFolder reports a chosen item without a path: (parent, text,
// caption).  The skinned message box unless a test puts another in place.
using ErrorBoxFn = std::function<void(QWidget* parent, const std::string& text, const std::string& caption)>;
void SetBrowseErrorBox(ErrorBoxFn show);

// Shows the folder browser opened at the folder remembered under
// section/key in the settings file, else at the settings folder, and answers
// the chosen folder; "" when cancelled.  A chosen item without a path shows
// the "ERROR" box with UI 95 and answers "".  Nothing is stored.
std::string BrowseForFolder(QWidget* parent, const std::string& section, const std::string& key,
                            const std::string& title);

}  // namespace qv
