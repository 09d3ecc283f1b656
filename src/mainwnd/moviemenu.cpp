#include "mainwnd/moviemenu.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include <algorithm>
#include <array>

#include "mainwnd/mainlayout.h"
#include "platform/qt/qtconvert.h"
#include "skin/resizedialog.h"
#include "uitext/uitext.h"

namespace qv {
namespace {

QPointer<CMovieMenu> g_openMenu;

// Draws the pane menu's items as the owner-drawn menu did; separators and
// the frame are the base style's.
class MovieMenuStyle : public QProxyStyle {
 public:
  MovieMenuStyle(bool fullScreen, float s) : fullScreen_(fullScreen), scale_(s) {}

  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (type != CT_MenuItem || !item) return QProxyStyle::sizeFromContents(type, option, size, widget);
    if (item->menuItemType != QStyleOptionMenuItem::Separator) {
      // The design's width, widened where a text would not fit after its
      // indent (the window system's menu added room of its own; without it
      // the longer texts would be cut off).
      QSize size = ToQSize(mainwnd::MeasurePaneMenuItem(fullScreen_, scale_));
      const int needed = mainwnd::PaneMenuTextIndent(scale_) + QFontMetrics(item->font).horizontalAdvance(item->text) +
                         mainwnd::T(scale_, 6);
      size.setWidth(std::max(size.width(), needed));
      return size;
    }
    // A separator takes the base style's height and leaves the width to
    // the items (the base style would widen the menu).
    return QSize(0, QProxyStyle::sizeFromContents(type, option, size, widget).height());
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* p,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item || item->menuItemType == QStyleOptionMenuItem::Separator)
      return QProxyStyle::drawControl(element, option, p, widget);
    const QRect r = item->rect;
    const bool selected = (item->state & State_Selected) != 0;
    const bool greyed = (item->state & State_Enabled) == 0;
    QColor fill = item->palette.color(QPalette::Window);
    QColor text = item->palette.color(QPalette::WindowText);
    if (selected) {
      fill = ToQColor(greyed ? mainwnd::kMenuSelectedGreyFill : mainwnd::kMenuSelectedFill);
      text = ToQColor(greyed ? mainwnd::kMenuGreyText : mainwnd::kMenuSelectedText);
    } else if (greyed) {
      text = ToQColor(mainwnd::kMenuGreyText);
    }
    p->save();
    p->fillRect(r, fill);
    p->setFont(item->font);
    p->setPen(text);
    const QRect textRect = r.adjusted(mainwnd::PaneMenuTextIndent(scale_), 0, 0, 0);
    p->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, item->text);
    if (item->checked) {
      const std::array<Point, 3> tick = mainwnd::PaneMenuTick(FromQRect(r), scale_);
      QPen pen(Qt::black);
      pen.setWidth(mainwnd::PaneMenuTickPen(scale_));
      p->setPen(pen);
      const QPoint points[3] = {ToQPoint(tick[0]), ToQPoint(tick[1]), ToQPoint(tick[2])};
      p->drawPolyline(points, 3);
    }
    p->restore();
  }

  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    // The items fill the menu edge to edge, as the window system's menu.
    if (metric == PM_MenuHMargin || metric == PM_MenuVMargin) return 1;
    if (metric == PM_MenuPanelWidth) return 1;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }

 private:
  bool fullScreen_;
  float scale_;
};

}  // namespace

CMovieMenu::CMovieMenu(bool fullScreen, float s, QWidget* parent)
    : QMenu(parent), fullScreen_(fullScreen), scale_(s > 0.0f ? s : 1.0f) {
  auto* style = new MovieMenuStyle(fullScreen_, scale_);
  style->setParent(this);
  setStyle(style);
  setFont(SkinAppFont(this));
}

CMovieMenu::~CMovieMenu() = default;

void CMovieMenu::Fill(const std::vector<mainwnd::PaneMenuItem>& items) {
  clear();
  for (const mainwnd::PaneMenuItem& item : items) {
    if (item.separator) {
      addSeparator();
      continue;
    }
    QAction* a = addAction(QString::fromUtf8(GetUiText(static_cast<UiText>(item.text))));
    a->setData(item.id);
    a->setCheckable(item.checked);
    a->setChecked(item.checked);
    a->setEnabled(!item.disabled);
  }
}

void CMovieMenu::CreatePlayingMenu(mainwnd::PaneMenuInput in) {
  in.playState = 2;
  in.fullScreen = fullScreen_;
  Fill(mainwnd::BuildPaneMenu(in));
}

void CMovieMenu::CreatePausedMenu(mainwnd::PaneMenuInput in) {
  in.playState = 3;
  in.fullScreen = fullScreen_;
  Fill(mainwnd::BuildPaneMenu(in));
}

void CMovieMenu::CreateStoppedMenu(mainwnd::PaneMenuInput in) {
  in.playState = 1;
  in.fullScreen = fullScreen_;
  Fill(mainwnd::BuildPaneMenu(in));
}

QAction* CMovieMenu::ItemById(int id) const {
  for (QAction* a : actions()) {
    if (!a->isSeparator() && a->data().toInt() == id) return a;
  }
  return nullptr;
}

int CMovieMenu::Track(const QPoint& screen) {
  QAction* chosen = exec(screen);
  return chosen ? chosen->data().toInt() : 0;
}

CMovieMenu* CMovieMenu::OpenMenu() { return g_openMenu.data(); }

bool CMovieMenu::CloseOpenMenu() {
  CMovieMenu* menu = g_openMenu.data();
  if (!menu || !menu->isVisible()) return false;
  menu->close();
  return true;
}

void CMovieMenu::showEvent(QShowEvent* e) {
  g_openMenu = this;
  QMenu::showEvent(e);
}

void CMovieMenu::hideEvent(QHideEvent* e) {
  if (g_openMenu.data() == this) g_openMenu.clear();
  QMenu::hideEvent(e);
}

}  // namespace qv
