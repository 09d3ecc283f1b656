#include "browser/foldertreectrl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "browser/browsermodel.h"
#include "browser/filerowner.h"
#include "platform/qt/qtconvert.h"
#include "platform/uiscale.h"
#include "skin/resourceimage.h"

namespace qv {

namespace {

constexpr ColorRef kTreeBackground = 0x151823;
constexpr ColorRef kTreeSelected = 0xFFCC00;

int Level(const QModelIndex& index) {
  int level = 0;
  for (QModelIndex i = index.parent(); i.isValid(); i = i.parent()) ++level;
  return level;
}

}  // namespace

QImage ComposeBadge(uint32_t v, float s) {
  auto k = [s](int n) { return ScaleInt(n, s); };
  QImage work(std::max(1, k(39)), std::max(1, k(26)), QImage::Format_ARGB32_Premultiplied);
  work.fill(Qt::transparent);
  QPainter p(&work);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  for (int id : BadgeLayers(v)) {
    const QImage layer = SkinImage(id);
    if (layer.isNull()) continue;
    const QSize size(ScaleInt(layer.width(), s), ScaleInt(layer.height(), s));
    p.drawImage(QRect(QPoint(0, k(5)), size), layer);
  }
  return work;
}

FolderTreeDelegate::FolderTreeDelegate(CFolderTreeCtrl* tree) : QStyledItemDelegate(tree), tree_(tree) {}

QSize FolderTreeDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(1, tree_->RowHeight());
}

void FolderTreeDelegate::paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QRect row(0, option.rect.top(), tree_->viewport()->width(), option.rect.height());
  if (row.height() <= 0) return;
  const int level = Level(index);
  const bool selected = option.state & QStyle::State_Selected;
  const uint32_t flags = index.data(CFolderTreeCtrl::kFlagsRole).toUInt();
  p->save();
  p->setClipRect(row);
  p->fillRect(row, ToQColor(selected ? kTreeSelected : kTreeBackground));
  if (selected) {
    QStyleOptionFocusRect focus;
    focus.rect = row;
    focus.state = QStyle::State_KeyboardFocusChange;
    focus.backgroundColor = ToQColor(kTreeSelected);
    tree_->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, p, tree_);
  }
  QRect text = row;
  text.setLeft((level + 1) * row.height());
  p->setPen(selected ? Qt::black : Qt::white);
  p->setFont(tree_->font());
  if (flags != 0) {
    const int x = text.left() + ScaleInt(8, BrowserScale()) - ScaleInt(26, BrowserScale());
    p->drawImage(QPoint(x, row.top()), ComposeBadge(flags, BrowserScale()));
    // The text starts clear of the badge.
    text.setLeft(std::max(text.left(), x + ScaleInt(39, BrowserScale()) + ScaleInt(2, BrowserScale())));
    p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, index.data().toString());
  } else {
    text.setLeft(text.left() - ScaleInt(22, BrowserScale()));
    p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, index.data().toString());
  }
  p->restore();
}

CFolderTreeCtrl::CFolderTreeCtrl(QWidget* parent, FilerOwner* owner)
    : QTreeWidget(parent), owner_(owner), delegate_(this) {
  setHeaderHidden(true);
  setColumnCount(1);
  setIndentation(0);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setItemDelegate(&delegate_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFrameShape(QFrame::NoFrame);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, ToQColor(kTreeBackground));
  setPalette(pal);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
    if (!quiet_ && owner_ && item) owner_->OnFolderSelected(item, userInput_);
  });
}

void CFolderTreeCtrl::paintEvent(QPaintEvent* e) {
  {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), ToQColor(kTreeBackground));
  }
  QTreeWidget::paintEvent(e);
}

void CFolderTreeCtrl::mousePressEvent(QMouseEvent* e) {
  userInput_ = true;
  QTreeWidget::mousePressEvent(e);
  userInput_ = false;
}

void CFolderTreeCtrl::keyPressEvent(QKeyEvent* e) {
  userInput_ = true;
  QTreeWidget::keyPressEvent(e);
  userInput_ = false;
}

int CFolderTreeCtrl::RowHeight() const {
  return std::max(ScaleInt(18, BrowserScale()), fontMetrics().height() + 4);
}

std::string CFolderTreeCtrl::GetItemPath(QTreeWidgetItem* item) const {
  std::string path;
  for (QTreeWidgetItem* i = item; i; i = i->parent()) {
    const std::string text = i->text(0).toStdString();
    if (text.empty()) return {};
    path = path.empty() ? text : JoinPath(text, path);
  }
  if (rootPath_.empty()) return path;
  return path.empty() ? rootPath_ : JoinPath(rootPath_, path);
}

void CFolderTreeCtrl::ExpandToItem(QTreeWidgetItem* item) {
  for (QTreeWidgetItem* i = item; i; i = i->parent()) i->setExpanded(true);
}

void CFolderTreeCtrl::SelectQuietly(QTreeWidgetItem* item) {
  quiet_ = true;
  setCurrentItem(item);
  quiet_ = false;
}

FolderTreeSink::Item CFolderTreeCtrl::InsertFolder(Item parent, const std::string& name) {
  auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(name)));
  item->setData(0, kFlagsRole, 0u);
  if (QTreeWidgetItem* p = ItemOf(parent))
    p->addChild(item);
  else
    addTopLevelItem(item);
  return reinterpret_cast<Item>(item);
}

void CFolderTreeCtrl::SetFolderFlags(Item item, uint32_t mask) {
  if (QTreeWidgetItem* i = ItemOf(item)) i->setData(0, kFlagsRole, mask);
}

QTreeWidgetItem* CFolderTreeCtrl::ItemOf(Item item) const { return reinterpret_cast<QTreeWidgetItem*>(item); }

}  // namespace qv
