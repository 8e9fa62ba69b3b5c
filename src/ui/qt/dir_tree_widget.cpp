#include "ui/qt/dir_tree_widget.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QStyle>

namespace cw {
namespace {

QTreeWidgetItem* AsItem(TreeView::Item item) { return static_cast<QTreeWidgetItem*>(item); }

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

QIcon Either(const QIcon& preferred, QStyle::StandardPixmap fallback) {
  return preferred.isNull() ? QApplication::style()->standardIcon(fallback) : preferred;
}

}  // namespace

DirTreeWidget::DirTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  header()->hide();
  // As the template has it: no lines and no expand buttons; items open on double-click or
  // from the keyboard. Labels cannot be edited.
  setRootIsDecorated(false);
  setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIndentation(12);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
}

bool DirTreeWidget::AttachImageList() {
  if (!images_.isEmpty()) return true;
  QFileIconProvider provider;
  const QIcon folder = Either(provider.icon(QFileIconProvider::Folder), QStyle::SP_DirClosedIcon);
  images_ = {Either(provider.icon(QFileIconProvider::Drive), QStyle::SP_DriveHDIcon), folder,
             QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon)};
  for (const QIcon& icon : images_)
    if (icon.isNull()) return false;
  return true;
}

bool DirTreeWidget::LookUpIcons(const std::string& /*path*/, bool isDrive, ItemIcons* icons) {
  if (images_.isEmpty()) return false;
  icons->normal = isDrive ? 0 : 1;
  icons->open = isDrive ? 0 : 2;
  return true;
}

TreeView::Item DirTreeWidget::InsertItemBefore(Item parent, Item before, const std::string& label,
                                               const ItemIcons& icons,
                                               const std::string& toolTip) {
  auto* item = new QTreeWidgetItem();
  item->setText(0, FromStd(label));
  // The open icon shows while the item is selected.
  QIcon icon;
  const QSize side(16, 16);
  if (icons.normal >= 0 && icons.normal < images_.size())
    icon.addPixmap(images_[icons.normal].pixmap(side), QIcon::Normal);
  if (icons.open >= 0 && icons.open < images_.size())
    icon.addPixmap(images_[icons.open].pixmap(side), QIcon::Selected);
  item->setIcon(0, icon);
  if (!toolTip.empty()) item->setToolTip(0, FromStd(toolTip));
  if (parent == nullptr) {
    insertTopLevelItem(before == nullptr ? topLevelItemCount()
                                         : indexOfTopLevelItem(AsItem(before)),
                       item);
  } else {
    QTreeWidgetItem* above = AsItem(parent);
    above->insertChild(before == nullptr ? above->childCount() : above->indexOfChild(AsItem(before)),
                       item);
  }
  return item;
}

std::vector<TreeView::Item> DirTreeWidget::Children(Item parent) const {
  std::vector<Item> children;
  if (parent == nullptr) {
    for (int i = 0; i < topLevelItemCount(); ++i) children.push_back(topLevelItem(i));
  } else {
    for (int i = 0; i < AsItem(parent)->childCount(); ++i)
      children.push_back(AsItem(parent)->child(i));
  }
  return children;
}

void DirTreeWidget::DeleteItem(Item item) { delete AsItem(item); }

void DirTreeWidget::InsertPlaceholder(Item parent) {
  if (parent != nullptr) new QTreeWidgetItem(AsItem(parent));
}

void DirTreeWidget::DeleteChildren(Item item) {
  if (item != nullptr) qDeleteAll(AsItem(item)->takeChildren());
}

void DirTreeWidget::DeleteAll() { clear(); }

TreeView::Item DirTreeWidget::Parent(Item item) const {
  return item == nullptr ? nullptr : AsItem(item)->parent();
}

std::string DirTreeWidget::Label(Item item) const {
  return item == nullptr ? std::string() : AsItem(item)->text(0).toStdString();
}

void DirTreeWidget::SetNote(Item item, const std::string& note) {
  if (item == nullptr) return;
  // A second column, made for the first note: where the card is mounted, and its label.
  if (columnCount() < 2) {
    setColumnCount(2);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  }
  AsItem(item)->setText(1, FromStd(note));
  AsItem(item)->setToolTip(1, AsItem(item)->toolTip(0));
}

void DirTreeWidget::SetBusy(bool busy) {
  setUpdatesEnabled(!busy);
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

QTreeWidgetItem* DirTreeWidget::FindItem(const QString& path) const {
  const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  QTreeWidgetItem* found = nullptr;
  for (const QString& part : parts) {
    QTreeWidgetItem* next = nullptr;
    const int count = found == nullptr ? topLevelItemCount() : found->childCount();
    for (int i = 0; i < count && next == nullptr; ++i) {
      QTreeWidgetItem* candidate = found == nullptr ? topLevelItem(i) : found->child(i);
      if (candidate->text(0) == part) next = candidate;
    }
    if (next == nullptr) return nullptr;
    found = next;
  }
  return found;
}

}  // namespace cw
