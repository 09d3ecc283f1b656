// The video panes' context menu: a popup menu whose items come from
// BuildPaneMenu (panemenu.h) and are drawn by a style of their own: t(20)
// high, t(70) wide (t(220) in full screen) or as wide as the longest text
// needs, the text t(20) in from the left
// in AppFont, a blue bar under the highlighted item, grey text for greyed
// items and a drawn tick for checked ones.
//
// Only one pane menu is open at a time; CloseOpenMenu closes it (the
// command guard's call) and never touches any other popup.
//
// Window thread only.
#pragma once

#include <QMenu>

#include <vector>

#include "mainwnd/panemenu.h"

namespace qv {

class CMovieMenu : public QMenu {
  Q_OBJECT
 public:
  // `fullScreen` is the main window's full-screen flag when the menu is
  // built; `s` the display scale.
  CMovieMenu(bool fullScreen, float s, QWidget* parent = nullptr);
  ~CMovieMenu() override;

  // Fill the menu for a play state; the rest of `in` says which items are
  // checked or greyed and whether the full-screen tail is used.
  void CreatePlayingMenu(mainwnd::PaneMenuInput in);
  void CreatePausedMenu(mainwnd::PaneMenuInput in);
  void CreateStoppedMenu(mainwnd::PaneMenuInput in);
  // Fills the menu with `items` (any earlier items are dropped).
  void Fill(const std::vector<mainwnd::PaneMenuItem>& items);

  // Shows the menu at `screen` and waits: the chosen item's command id, or
  // 0 when the menu was dismissed (or closed by CloseOpenMenu).
  int Track(const QPoint& screen);

  bool FullScreen() const { return fullScreen_; }
  float ScaleUsed() const { return scale_; }
  // The item of `id` (null when the menu has none).
  QAction* ItemById(int id) const;

  // The pane menu being shown, or null.
  static CMovieMenu* OpenMenu();
  // Closes the pane menu being shown, if any; true when one was closed.
  static bool CloseOpenMenu();

 protected:
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  bool fullScreen_;
  float scale_;
};

}  // namespace qv
