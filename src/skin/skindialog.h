// The base of the program's pop-up windows: borderless, a grey caption strip
// with the window text, a small close button, Enter and Escape never close
// it, and a border drag resizes it on release.
#pragma once

#include <memory>

#include "skin/resizedialog.h"
#include "skin/skinbutton.h"

namespace qv {

class CSkinDialog : public CResizeDialog {
  Q_OBJECT
 public:
  explicit CSkinDialog(QWidget* parent = nullptr);
  ~CSkinDialog() override;

  // Moves the window to the drag rectangle unless the press was a caption
  // press.
  void Relayout() override;
  // Makes the caption close button; a click reaches OnCommand(commandId).
  // It keeps its place at the top right through resizes and scale changes.
  void CreateCloseButton(int commandId);
  CSkinButton* CloseButton() const { return close_.get(); }
  // Paints the caption strip and the window text.
  void DrawCaption(QPainter& p);

 signals:
  void command(int id);

 protected:
  // Commands of the dialog's own buttons; the base emits command(id).
  virtual void OnCommand(int id) { emit command(id); }

  void keyPressEvent(QKeyEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void OnScaleChanged() override;

 private:
  void PlaceCloseButton();

  std::unique_ptr<CSkinButton> close_;
};

}  // namespace qv
