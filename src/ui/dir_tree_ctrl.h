#pragma once
// The drive and folder browser of the main dialog: drives (never C:), folders read lazily on
// expansion and dropped on collapse, each item's path rebuilt from the labels. The rules live
// here; a TreeView (Qt widget, or an in-memory one in tests) only holds the items.

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace cw {

// The two icons of an item, as indexes into the view's image list.
struct ItemIcons {
  int normal = -1;
  int open = -1;
};

class TreeView {
 public:
  // An item of the view; nullptr is the invisible root above the top-level items.
  using Item = void*;

  virtual ~TreeView() = default;
  // Readies the view's image list; false when there is no icon source.
  virtual bool AttachImageList() = 0;
  // The normal and open icons for a drive (isDrive) or folder at `path`; false when none.
  virtual bool LookUpIcons(const std::string& path, bool isDrive, ItemIcons* icons) = 0;
  // Inserts a child of `parent` before its child `before` (nullptr: appends); `toolTip`
  // may be empty. nullptr when it cannot.
  virtual Item InsertItemBefore(Item parent, Item before, const std::string& label,
                                const ItemIcons& icons, const std::string& toolTip) = 0;
  // The children of `parent`, in their order.
  virtual std::vector<Item> Children(Item parent) const = 0;
  // Removes one item with everything below it.
  virtual void DeleteItem(Item item) = 0;
  // Appends the empty child that makes an unread folder expandable.
  virtual void InsertPlaceholder(Item parent) = 0;
  virtual void DeleteChildren(Item item) = 0;
  virtual void DeleteAll() = 0;
  virtual Item Parent(Item item) const = 0;
  virtual std::string Label(Item item) const = 0;
  // Text shown beside a drive's letter (where the card is); a view without room shows none.
  virtual void SetNote(Item /*item*/, const std::string& /*note*/) {}
  // Redrawing off with the wait cursor while many items go in, and back on.
  virtual void SetBusy(bool busy) = 0;
};

// What the tree reads of a drive before it shows its item. A disconnected network drive may
// take many seconds to answer, so a front end may have it read off its window's thread.
struct DriveProbe {
  std::string drive;  // "E:\"
  bool iconsFound = false;
  ItemIcons icons;
  std::string toolTip;
  std::string note;  // the card's mount folder and label, where drives are host folders
  bool hasSubEntries = false;
};

// Where drive probes run when not on the window's thread.
class DriveProber {
 public:
  virtual ~DriveProber() = default;
  // Runs `probe` for each of `drives` off the calling thread (one drive that does not answer
  // holds up no other) and hands each result to `done` on the calling thread, the window's.
  virtual void Probe(const std::vector<std::string>& drives,
                     std::function<DriveProbe(const std::string&)> probe,
                     std::function<void(const DriveProbe&)> done) = 0;
};

// Folder names in the tree's order: case-insensitive, names equal but for case keep their
// order (a bubble sort, stable by construction).
class CSortStringArray : public std::vector<std::string> {
 public:
  using std::vector<std::string>::vector;
  void Sort();

 private:
  bool SwapIfAfter(size_t i);
};

class CDirTreeCtrl {
 public:
  // The drives and folders shown are those of `platform`.
  CDirTreeCtrl(Platform& platform, TreeView& view) : platform_(platform), view_(view) {}

  // Fills the tree with `folder` as its one root, or with the drives when `folder` is empty.
  // With a prober, the drive items come as their probes end.
  bool ShowTree(const std::string& folder, bool showFiles);
  // Drives are probed through `prober` from now on (nullptr: at once, on the calling thread).
  void SetDriveProber(DriveProber* prober) { prober_ = prober; }
  // The item's full path: "E:" for a drive, "E:\DATA" for a folder on it.
  std::string ItemPath(TreeView::Item item) const;
  // Brings the drive items in line with the drives there are now: a new drive is inserted in
  // its place (once probed), a gone one removed; the items of drives that stay are left as they
  // are, with their expanded folders and the selection. True when an item came or went.
  bool UpdateDrives();
  // The view reports every expansion (expanded true) and collapse.
  void OnItemExpanded(TreeView::Item item, bool expanded);

  const std::string& errorText() const { return errorText_; }
  const std::string& rootFolder() const { return rootFolder_; }

 private:
  bool AttachSystemImageList();
  bool AddDrives();
  // Probes `drives` and inserts each in its place as its probe ends.
  void ProbeAndAddDrives(const std::vector<std::string>& drives);
  DriveProbe ProbeDrive(const std::string& drive) const;
  std::string DriveNote(const std::string& drive) const;
  void AddProbedDrive(const DriveProbe& probe);
  TreeView::Item AddItem(TreeView::Item parent, const std::string& path,
                         TreeView::Item before = nullptr);
  // The drives the tree offers: every drive but C:.
  std::vector<std::string> OfferedDrives();
  void AddChildren(TreeView::Item parent, const std::string& folderPath);
  bool HasSubEntries(const std::string& path) const;
  void RefreshItem(TreeView::Item item);

  Platform& platform_;
  TreeView& view_;
  DriveProber* prober_ = nullptr;
  bool showFiles_ = false;
  std::string errorText_;
  std::string rootFolder_;
};

// The text after the last backslash, one trailing backslash dropped first.
std::string LastPathPart(std::string path);

}  // namespace cw
