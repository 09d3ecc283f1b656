#include "player/videopane.h"

#include <QPainter>
#include <QResizeEvent>

#include <cmath>

#include "player/player.h"
#include "player/playerslot.h"
#include "player/presenter.h"

namespace qv {

VideoPane::VideoPane(QWidget* parent) : QWidget(parent), messages_(this) {
  messages_.On(kMsgPresenterFrame, [this](uintptr_t, intptr_t) { update(); });
  // The pane paints every pixel itself.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

VideoPane::~VideoPane() { messages_.Detach(); }

void VideoPane::ShowSlot(PlayerSlot* slot, int view) {
  slot_ = slot;
  view_ = view == 1 ? 1 : 0;
  player_ = nullptr;
  update();
}

void VideoPane::ShowPlayer(CPlayer* player) {
  player_ = player;
  slot_ = nullptr;
  Place();
  update();
}

AppMessagePort VideoPane::ParentPort() const { return parentPort_ ? parentPort_ : messages_.Port(); }

int VideoPane::ToDevice(int logical) const {
  return static_cast<int>(std::lround(logical * devicePixelRatioF()));
}

Size VideoPane::ClientSize() const { return Size{ToDevice(width()), ToDevice(height())}; }

CustomPresenter* VideoPane::Presenter() const {
  if (player_) return player_->Presenter();
  if (slot_ && slot_->player) return slot_->player->Presenter();
  return nullptr;
}

void VideoPane::paintEvent(QPaintEvent*) {
  ++paints_;
  QPainter painter(this);
  CustomPresenter* presenter = Presenter();
  if (!presenter || !presenter->Engine().HasFrame()) {
    PaintEmpty(painter);
    return;
  }
  ++framesPainted_;
  // One unit of the painter is one device pixel from here on.
  const qreal ratio = devicePixelRatioF();
  painter.scale(1.0 / ratio, 1.0 / ratio);
  const Size client = ClientSize();
  PresentEngine& engine = presenter->Engine();
  engine.Paint(painter, Rect(0, 0, client.width, client.height));
  if (slot_) slot_->osd.Paint(painter, engine.DestinationRect());
}

void VideoPane::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Place();
}

bool VideoPane::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  // On another screen the device pixels of the same size change.
  if (event->type() == QEvent::ScreenChangeInternal) Place();
  return handled;
}

void VideoPane::Place() {
  if (player_) {
    const Size s = ClientSize();
    player_->SetVideoPosition(0, 0, s.width, s.height);
  } else if (slot_ && slot_->player) {
    PlayerSlot_RedrawView(slot_, view_);
  }
}

void VideoPane::PaintEmpty(QPainter& painter) { painter.fillRect(rect(), Qt::black); }

}  // namespace qv
