#include "platform/qt/inputhold.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qv {
namespace {

// A window with a button and a line edit; what reached them, in order.
struct Window {
  Window() {
    auto* layout = new QVBoxLayout(&top);
    layout->addWidget(button = new QPushButton(QStringLiteral("go"), &top));
    button->setFocusPolicy(Qt::NoFocus);  // the keys stay with the edit
    layout->addWidget(edit = new QLineEdit(&top));
    QObject::connect(button, &QPushButton::clicked, [this] { seen += "click;"; });
    QObject::connect(edit, &QLineEdit::textEdited, [this](const QString& t) { seen += "text " + t.toStdString() + ";"; });
    top.resize(200, 100);
    top.show();
    QCoreApplication::processEvents();
    edit->setFocus();
  }
  void Click() { QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, button->geometry().center()); }
  void Type(char c) { QTest::keyClick(top.windowHandle(), c); }
  QWidget top;
  QPushButton* button = nullptr;
  QLineEdit* edit = nullptr;
  std::string seen;
};

TEST(InputHold, HeldInputArrivesInOrderWhenReleased) {
  Window w;
  InputHold hold;
  hold.Hold();
  w.Type('a');
  w.Click();
  w.Type('b');
  QCoreApplication::processEvents();
  EXPECT_EQ(w.seen, "");
  EXPECT_GE(hold.HeldCount(), 6u);  // a press and a release each
  hold.Release();
  EXPECT_FALSE(hold.Holding());
  EXPECT_EQ(w.seen, "text a;click;text ab;");
  // Let go: input goes straight through again.
  w.Click();
  EXPECT_EQ(w.seen, "text a;click;text ab;click;");
}

TEST(InputHold, DroppedOrForAWindowThatWentItIsNotDelivered) {
  InputHold hold;
  {
    Window w;
    hold.Hold();
    w.Click();
    EXPECT_GE(hold.HeldCount(), 2u);
  }
  hold.Release();  // the window went meanwhile
  Window w;
  hold.Hold();
  w.Click();
  hold.Drop();
  QCoreApplication::processEvents();
  EXPECT_EQ(w.seen, "");
  EXPECT_EQ(hold.HeldCount(), 0u);
  // Holding again from a delivery keeps the rest behind it, in order.
  bool again = false;
  QObject::connect(w.button, &QPushButton::clicked, [&] {
    if (!std::exchange(again, true)) hold.Hold();
  });
  hold.Hold();
  w.Click();
  w.Type('x');
  hold.Release();
  EXPECT_EQ(w.seen, "click;");
  EXPECT_TRUE(hold.Holding());
  w.Type('y');
  hold.Release();
  EXPECT_EQ(w.seen, "click;text x;text xy;");
}

}  // namespace
}  // namespace qv
