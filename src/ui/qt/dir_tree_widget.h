#pragma once
// The Qt tree widget behind CDirTreeCtrl: holds the items and their icons, reports expansion,
// collapse and selection. Drive and folder icons come from QFileIconProvider.

#include <QIcon>
#include <QTreeWidget>
#include <QVector>

#include "ui/dir_tree_ctrl.h"

namespace cw {

class DirTreeWidget : public QTreeWidget, public TreeView {
  Q_OBJECT

 public:
  explicit DirTreeWidget(QWidget* parent = nullptr);

  bool AttachImageList() override;
  bool LookUpIcons(const std::string& path, bool isDrive, ItemIcons* icons) override;
  Item InsertItemBefore(Item parent, Item before, const std::string& label,
                        const ItemIcons& icons, const std::string& toolTip) override;
  std::vector<Item> Children(Item parent) const override;
  void DeleteItem(Item item) override;
  void InsertPlaceholder(Item parent) override;
  void DeleteChildren(Item item) override;
  void DeleteAll() override;
  Item Parent(Item item) const override;
  std::string Label(Item item) const override;
  void SetNote(Item item, const std::string& note) override;
  void SetBusy(bool busy) override;

  // The item with this path ("E:", "E:\DATA"), or nullptr.
  QTreeWidgetItem* FindItem(const QString& path) const;

 private:
  QVector<QIcon> images_;  // the image list: [0] drive, [1] folder, [2] open folder
};

}  // namespace cw
