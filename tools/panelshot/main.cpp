// Shows the information panel and the G-sensor graph laid out as in the main
// window, the information band along the bottom and the gauge window below, with the drive data of one
// recording bound and the play position moving on a 30 ms tick, so the
// panels can be looked at (and screenshots taken) without the main window.
//
//   qv_panelshot RECORDING [--scale S] [--cursor N] [--step N] [--seconds T]
//                          [--save PREFIX]
//
// --scale overrides the display scale the screen gives; --cursor is the
// starting slot; --step the slotCount per tick (0 holds still); the program ends
// after --seconds (default 5); --save writes PREFIX-graph.png,
// PREFIX-info.png and PREFIX-gauges.png of the last frame.
#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>
#include <string>

#include "panels/gsensordlg.h"
#include "panels/infodlg.h"
#include "panels/obddlg.h"
#include "platform/numtext.h"
#include "platform/uiscale.h"
#include "recording/drivedatareader.h"
#include "skin/fonts.h"
#include "skin/resourceimage.h"

using namespace qv;

namespace {

// Stands in for the main window: black, with the information band along
// its bottom edge.
class Host : public QWidget {
 public:
  CInfoDlg* info = nullptr;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!info) return;
    const Rect client = Rect::FromSize(0, 0, width(), height());
    info->DrawBandBackground(p, client);
    info->DrawBandInfo(p, client);
  }
};

void SetScale(float s, const QWidget* w) {
  CreateAppFonts(w);
  if (s <= 0) return;
  const int dpi = w->logicalDpiY() > 0 ? w->logicalDpiY() : 96;
  UiScale = s;
  FontScale = s * 96.0f / static_cast<float>(dpi);
  DeleteAppFonts();
  Font9pt = new QFont(MakeAppFont(9, dpi));
  AppFont = new QFont(MakeAppFont(10, dpi));
  Font13pt = new QFont(MakeAppFont(13, dpi));
  Font17pt = new QFont(MakeAppFont(17, dpi));
  Font22pt = new QFont(MakeAppFont(22, dpi));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: qv_panelshot RECORDING [--scale S] [--cursor N] [--step N] [--seconds T] [--save P]\n");
    return 2;
  }
  const std::string path = argv[1];
  double scale = 0;
  int64_t cursor = 0, step = 3, seconds = 5;
  std::string save;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--scale") ParseDouble(value, scale);
    else if (key == "--cursor") ParseInt64(value, cursor);
    else if (key == "--step") ParseInt64(value, step);
    else if (key == "--seconds") ParseInt64(value, seconds);
    else if (key == "--save") save = value;
  }

  CDriveDataReader reader;
  if (!reader.Open(path) || !reader.sensors || reader.sensors->empty()) {
    std::fprintf(stderr, "no drive data in %s\n", path.c_str());
    return 1;
  }
  reader.msPerSlot = 1000.0f / 30.0f;
  const int slotCount = static_cast<int>(reader.sensors->size() * reader.msPerRecord / reader.msPerSlot) + 3;
  if (!reader.BuildTimeIndex(slotCount)) return 1;

  Host host;
  host.setWindowTitle(QStringLiteral("panels"));
  host.move(0, 0);
  SetScale(static_cast<float>(scale), &host);
  const float s = UiScale;
  const int w = ScaleInt(656, s), infoH = ScaleInt(105, s), graphH = ScaleInt(142, s);
  host.resize(ScaleInt(1120, s), infoH + graphH + ScaleInt(50, s));

  CResourceImage images;
  images.Load(s);
  COffScreenDC surface;
  surface.Create(host.width(), host.height());

  CInfoDlg info(&host);
  info.SetImages(&images);
  info.SetSurface(&surface);
  info.setGeometry(ScaleInt(6, s), ScaleInt(6, s), w, infoH);
  host.info = &info;
  CGSensorDlg graph(&host);
  graph.SetSurface(&surface);
  graph.setGeometry(ScaleInt(6, s), ScaleInt(6, s) + infoH, w, graphH);
  graph.SetSampleSource([&](const std::function<void(const SlotRecords&)>& visit) {
    visit(SlotRecords(reader.sensors.get(), reader.timeIndex.get()));
  });
  const int margin = ScaleInt(40, s);
  graph.SetMargin(margin);
  graph.SetPositionRange(slotCount);
  graph.SetTileSpacing(CGSensorDlg::TileSpacingFor(margin));
  graph.SetScaleMode(ScaleModeForMaxG(reader.maxAbsG));
  graph.SetHasData(1);

  info.SetStartTime((*reader.gps)[0].localTime);
  info.SetSlotTime(reader.msPerSlot);
  info.SetTimeLapse(reader.head.rateLetter == 'T');
  info.SetHasData(1);
  info.SetRateText(QStringLiteral("x1.0"));
  info.SetResolutionClass(5);
  info.SetStateLetter('R');
  info.SetVoltageShown(1, 1);
  info.SetVoltage(124);

  CObdDlg gauges;
  gauges.SetImages(&images);
  gauges.SetStateSource([] { return 1; });
  gauges.move(0, host.height() + 40);
  gauges.SetItemValue(0, 62);
  gauges.SetItemValue(2, 160);
  gauges.SetItemValue(4, 75);
  for (int g = 0; g < 3; ++g) gauges.Combo(g)->setCurrentIndex(g * 2);

  auto setPosition = [&](int64_t pos) {
    pos = std::clamp<int64_t>(pos, 0, slotCount - 1);
    cursor = pos;
    const SensorSample* sample = (*reader.timeIndex)[static_cast<size_t>(pos)];
    if (sample) {
      info.SetG(sample->gX, sample->gY, sample->gZ);
      const GpsSample* gps = sample->gps;
      info.SetFix(gps ? gps->valid : 0);
      info.SetSpeed(gps ? gps->speed : -1.0);
    } else {
      info.ClearG();
    }
    graph.SetCursor(static_cast<int>(pos));
    info.SetCursor(static_cast<int>(pos));
    graph.repaint();
    info.PaintPanel();
    host.update();
  };

  host.show();
  gauges.show();
  setPosition(cursor);
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] { setPosition(cursor + step); });
  tick.start(30);
  QTimer::singleShot(static_cast<int>(seconds * 1000), [&] {
    if (!save.empty()) {
      graph.grab().save(QString::fromStdString(save + "-graph.png"));
      info.grab().save(QString::fromStdString(save + "-info.png"));
      gauges.grab().save(QString::fromStdString(save + "-gauges.png"));
    }
    app.quit();
  });
  return app.exec();
}
