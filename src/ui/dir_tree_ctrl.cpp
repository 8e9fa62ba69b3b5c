#include "ui/dir_tree_ctrl.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace cw {
namespace {

// _stricmp's order: both sides lower-cased (ASCII), then compared as unsigned bytes.
int CompareNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto lower = [](char c) {
      const unsigned char u = static_cast<unsigned char>(c);
      return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
    };
    const int ca = lower(a[i]);
    const int cb = lower(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EndsWithBackslash(const std::string& path) { return !path.empty() && path.back() == '\\'; }

std::string WithBackslash(const std::string& path) {
  return EndsWithBackslash(path) ? path : path + "\\";
}

bool IsDotEntry(const FindEntry& entry) { return entry.name == "." || entry.name == ".."; }

}  // namespace

void CSortStringArray::Sort() {
  if (size() < 2) return;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (size_t i = 0; i + 1 < size(); ++i) swapped |= SwapIfAfter(i);
  }
}

bool CSortStringArray::SwapIfAfter(size_t i) {
  if (CompareNoCase((*this)[i], (*this)[i + 1]) <= 0) return false;
  std::swap((*this)[i], (*this)[i + 1]);
  return true;
}

std::string LastPathPart(std::string path) {
  if (EndsWithBackslash(path)) path.pop_back();
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool CDirTreeCtrl::ShowTree(const std::string& folder, bool showFiles) {
  view_.DeleteAll();
  if (!AttachSystemImageList()) return false;
  showFiles_ = showFiles;
  if (!folder.empty()) {
    rootFolder_ = WithBackslash(folder);
    TreeView::Item root = AddItem(nullptr, rootFolder_);
    if (root != nullptr) AddChildren(root, folder);
    return true;
  }
  if (!AddDrives()) return false;
  rootFolder_.clear();
  return true;
}

std::string CDirTreeCtrl::ItemPath(TreeView::Item item) const {
  std::string path;
  for (TreeView::Item at = item; at != nullptr; at = view_.Parent(at))
    path = view_.Label(at) + "\\" + path;
  while (EndsWithBackslash(path)) path.pop_back();
  return path;
}

void CDirTreeCtrl::OnItemExpanded(TreeView::Item item, bool expanded) {
  if (item == nullptr) return;
  if (expanded) {
    RefreshItem(item);
    return;
  }
  // Collapsed: forget the children, so the next expansion reads the disk afresh.
  view_.DeleteChildren(item);
  view_.InsertPlaceholder(item);
}

bool CDirTreeCtrl::AttachSystemImageList() {
  if (view_.AttachImageList()) return true;
  errorText_ = "Cannot retrieve the Handle of SystemImageList!";
  return false;
}

bool CDirTreeCtrl::AddDrives() {
  view_.DeleteAll();
  if (platform_.LogicalDriveStrings().empty()) {
    errorText_ = "Error Getting Logical DriveStrings!";
    return false;
  }
  ProbeAndAddDrives(OfferedDrives());
  return true;
}

void CDirTreeCtrl::ProbeAndAddDrives(const std::vector<std::string>& drives) {
  if (drives.empty()) return;
  if (prober_ == nullptr) {
    for (const std::string& drive : drives) AddProbedDrive(ProbeDrive(drive));
    return;
  }
  prober_->Probe(
      drives, [this](const std::string& drive) { return ProbeDrive(drive); },
      [this](const DriveProbe& probe) { AddProbedDrive(probe); });
}

std::string CDirTreeCtrl::DriveNote(const std::string& drive) const {
  const std::optional<DriveWhereabouts> where = DriveWhere(platform_, drive);
  return where ? where->Text() : std::string();
}

DriveProbe CDirTreeCtrl::ProbeDrive(const std::string& drive) const {
  DriveProbe probe;
  probe.drive = WithBackslash(drive);
  probe.iconsFound = view_.LookUpIcons(probe.drive, true, &probe.icons);
  if (!probe.iconsFound) return probe;
  probe.toolTip = platform_.DriveHostPath(probe.drive);
  probe.note = DriveNote(probe.drive);
  probe.hasSubEntries = HasSubEntries(probe.drive);
  return probe;
}

void CDirTreeCtrl::AddProbedDrive(const DriveProbe& probe) {
  if (!probe.iconsFound) {
    errorText_ = "Error Gettting SystemFileInfo!";
    return;
  }
  if (!rootFolder_.empty() && prober_ != nullptr) return;  // the tree shows a folder by now
  const std::string label = probe.drive.substr(0, probe.drive.size() - 1);
  // Drive items are in letter order: the new one goes before the first item after it.
  TreeView::Item before = nullptr;
  for (TreeView::Item item : view_.Children(nullptr)) {
    const std::string shown = view_.Label(item);
    if (shown == label) return;  // already there (a second probe of the same drive)
    if (before == nullptr && label < shown) before = item;
  }
  TreeView::Item item = view_.InsertItemBefore(nullptr, before, label, probe.icons, probe.toolTip);
  if (item != nullptr && !probe.note.empty()) view_.SetNote(item, probe.note);
  if (item != nullptr && probe.hasSubEntries) view_.InsertPlaceholder(item);
}

std::vector<std::string> CDirTreeCtrl::OfferedDrives() {
  std::vector<std::string> drives = platform_.LogicalDriveStrings();
  // The system disk is never offered as a card.
  std::erase(drives, std::string("C:\\"));
  return drives;
}

bool CDirTreeCtrl::UpdateDrives() {
  if (!rootFolder_.empty()) return false;  // a folder's tree has no drives
  const std::vector<std::string> drives = OfferedDrives();
  bool changed = false;
  for (TreeView::Item item : view_.Children(nullptr)) {
    if (std::find(drives.begin(), drives.end(), view_.Label(item) + "\\") == drives.end()) {
      view_.DeleteItem(item);
      changed = true;
    }
  }
  std::vector<std::string> added;
  std::vector<std::string> shown;
  for (TreeView::Item item : view_.Children(nullptr)) shown.push_back(view_.Label(item) + "\\");
  for (const std::string& drive : drives)
    if (std::find(shown.begin(), shown.end(), drive) == shown.end()) added.push_back(drive);
  ProbeAndAddDrives(added);
  return changed || !added.empty();
}

TreeView::Item CDirTreeCtrl::AddItem(TreeView::Item parent, const std::string& path,
                                     TreeView::Item before) {
  std::string p = WithBackslash(path);
  const bool isDrive = parent == nullptr && p.size() == 3 && p[1] == ':';
  ItemIcons icons;
  if (!view_.LookUpIcons(p, isDrive, &icons)) {
    errorText_ = "Error Gettting SystemFileInfo!";
    return nullptr;
  }
  const std::string toolTip = isDrive ? platform_.DriveHostPath(p) : std::string();
  p.pop_back();
  const std::string label = parent == nullptr ? p : LastPathPart(p);
  TreeView::Item item = view_.InsertItemBefore(parent, before, label, icons, toolTip);
  if (item != nullptr && isDrive) {
    const std::string note = DriveNote(p + "\\");
    if (!note.empty()) view_.SetNote(item, note);
  }
  return item;
}

void CDirTreeCtrl::AddChildren(TreeView::Item parent, const std::string& folderPath) {
  const std::string folder = WithBackslash(folderPath);
  std::vector<FindEntry> entries;
  platform_.FindFiles(folder + "*.*", &entries);  // a folder that cannot be read has no children
  CSortStringArray folders;
  CSortStringArray files;
  for (const FindEntry& entry : entries) {
    if (IsDotEntry(entry)) continue;
    if (entry.IsDirectory())
      folders.push_back(folder + entry.name);
    else if (showFiles_)
      files.push_back(folder + entry.name);
  }
  folders.Sort();
  view_.SetBusy(true);
  for (const std::string& path : folders) {
    TreeView::Item item = AddItem(parent, path);
    if (item != nullptr && HasSubEntries(path)) view_.InsertPlaceholder(item);
  }
  if (showFiles_) {
    files.Sort();
    for (const std::string& path : files) AddItem(parent, path);
  }
  view_.SetBusy(false);
}

bool CDirTreeCtrl::HasSubEntries(const std::string& path) const {
  std::vector<FindEntry> entries;
  if (!platform_.FindFiles(WithBackslash(path) + "*.*", &entries)) return false;
  for (const FindEntry& entry : entries) {
    if (IsDotEntry(entry)) continue;
    if (entry.IsDirectory()) return true;
    if (showFiles_ && (entry.attributes & kAttrHidden) == 0) return true;
  }
  return false;
}

void CDirTreeCtrl::RefreshItem(TreeView::Item item) {
  view_.DeleteChildren(item);
  AddChildren(item, ItemPath(item));
}

}  // namespace cw
