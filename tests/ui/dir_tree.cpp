// The drive and folder tree against the in-memory platform: which drives show, the folder
// order, the expand placeholders, reading the disk afresh on every expansion.

#include <QtTest>

#include <functional>
#include <thread>

#include "support/fake_platform.h"
#include "ui/dir_tree_ctrl.h"
#include "ui_fakes.h"

using namespace cw;

using Labels = std::vector<std::string>;

class DirTreeTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    fake_ = std::make_unique<FakePlatform>();
    fake().AddDrive('E', DriveType::Removable, "FAT", 64u << 20);
  }
  void cleanup() { fake_.reset(); }

  void driveCIsNeverShownAndDrivesKeepTheSystemOrder() {
    fake().AddDrive('D', DriveType::Fixed, "EXT4", 1u << 30);
    fake().AddDrive('F', DriveType::Removable, "FAT32", 1u << 30);
    fake().AddFolder("C:\\WORK\\SUB");
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    QVERIFY(tree.ShowTree("", false));
    QCOMPARE(view.ChildLabels(nullptr), (Labels{"D:", "E:", "F:"}));
    QVERIFY(tree.rootFolder().empty());
    // A drive item names its host folder in the tooltip.
    QCOMPARE(view.Find("E:")->toolTip, fake().DriveHostPath("E:\\"));
  }

  // Drives probed off the window's thread (a drive that does not answer must not freeze the
  // window): the tree shows each drive only as its result comes back, in letter order whatever
  // the order of the results, and a drive already shown is not shown twice.
  void drivesProbedElsewhereComeInLetterOrderAsTheirResultsArrive() {
    fake().AddDrive('D', DriveType::Fixed, "EXT4", 1u << 30);
    fake().AddDrive('F', DriveType::Removable, "FAT32", 1u << 30);
    fake().AddFolder("E:\\DATA");
    struct HeldProber : DriveProber {
      void Probe(const std::vector<std::string>& drives,
                 std::function<DriveProbe(const std::string&)> probe,
                 std::function<void(const DriveProbe&)> done) override {
        std::thread worker([&] {
          for (const std::string& drive : drives) results.push_back(probe(drive));
          probeThread = std::this_thread::get_id();
        });
        worker.join();
        deliver = std::move(done);
      }
      std::vector<DriveProbe> results;
      std::thread::id probeThread;
      std::function<void(const DriveProbe&)> deliver;
    } prober;
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    tree.SetDriveProber(&prober);
    QVERIFY(tree.ShowTree("", false));
    QVERIFY(view.ChildLabels(nullptr).empty());
    QCOMPARE(prober.results.size(), size_t{3});
    QVERIFY(prober.probeThread != std::this_thread::get_id());
    for (auto it = prober.results.rbegin(); it != prober.results.rend(); ++it) prober.deliver(*it);
    prober.deliver(prober.results[1]);
    QCOMPARE(view.ChildLabels(nullptr), (Labels{"D:", "E:", "F:"}));
    QVERIFY(view.HasPlaceholder(view.Find("E:")));
    QVERIFY(!view.HasPlaceholder(view.Find("F:")));
    QCOMPARE(view.Find("E:")->toolTip, fake().DriveHostPath("E:\\"));

    // A card put in later goes through the prober too.
    fake().AddDrive('G', DriveType::Removable, "FAT", 64u << 20);
    prober.results.clear();
    QVERIFY(tree.UpdateDrives());
    QCOMPARE(view.ChildLabels(nullptr), (Labels{"D:", "E:", "F:"}));
    QCOMPARE(prober.results.size(), size_t{1});
    prober.deliver(prober.results[0]);
    QCOMPARE(view.ChildLabels(nullptr), (Labels{"D:", "E:", "F:", "G:"}));
  }

  void onlyDriveCGivesAnEmptyTree() {
    FakePlatform lonely;  // C: alone
    MemoryTreeView view;
    CDirTreeCtrl tree(lonely, view);
    QVERIFY(tree.ShowTree("", false));
    QVERIFY(view.ChildLabels(nullptr).empty());
  }

  void foldersAreSortedWithoutRegardToCaseAndStable() {
    for (const char* name : {"beta", "Alpha", "alpha2"})
      fake().AddFolder(std::string("E:\\") + name);
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    tree.ShowTree("", false);
    TreeView::Item drive = view.Find("E:");
    QVERIFY(view.HasPlaceholder(drive));
    tree.OnItemExpanded(drive, true);
    QCOMPARE(view.ChildLabels(drive), (Labels{"Alpha", "alpha2", "beta"}));
    QCOMPARE(view.busyCalls, (std::vector<bool>{true, false}));
  }

  void placeholdersOnlyWhereThereAreSubFolders() {
    fake().AddFolder("E:\\NESTED\\INNER");
    fake().WriteFile("E:\\FILES\\A.TXT", "a");
    fake().AddFolder("E:\\EMPTY");
    fake().AddDrive('F', DriveType::Removable, "FAT", 1u << 20);  // an empty card
    fake().WriteFile("G:\\ONLY.TXT", "x");  // no such drive: ignored by the fake
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    tree.ShowTree("", false);
    QVERIFY(view.ChildLabels(view.Find("F:")).empty());
    TreeView::Item drive = view.Find("E:");
    tree.OnItemExpanded(drive, true);
    QCOMPARE(view.ChildLabels(drive), (Labels{"EMPTY", "FILES", "NESTED"}));
    QVERIFY(view.HasPlaceholder(view.Find("E:\\NESTED")));
    QVERIFY(view.ChildLabels(view.Find("E:\\FILES")).empty());  // files only: not expandable
    QVERIFY(view.ChildLabels(view.Find("E:\\EMPTY")).empty());
  }

  void collapsingAndExpandingShowsAFolderMadeInBetween() {
    fake().AddFolder("E:\\DATA\\OLD");
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    tree.ShowTree("", false);
    TreeView::Item drive = view.Find("E:");
    tree.OnItemExpanded(drive, true);
    TreeView::Item data = view.Find("E:\\DATA");
    tree.OnItemExpanded(data, true);
    QCOMPARE(view.ChildLabels(data), (Labels{"OLD"}));
    fake().AddFolder("E:\\DATA\\NEW");
    tree.OnItemExpanded(data, false);
    QVERIFY(view.HasPlaceholder(data));
    tree.OnItemExpanded(data, true);
    QCOMPARE(view.ChildLabels(data), (Labels{"NEW", "OLD"}));
  }

  void hiddenFoldersAreShownButNotDotEntries() {
    fake().AddFolder("E:\\VISIBLE");
    fake().AddFolder("E:\\SECRET\\INSIDE");
    QVERIFY(fake().SetFileAttributes("E:\\SECRET", kAttrHidden));
    QVERIFY(fake().SetFileAttributes("E:\\SECRET\\INSIDE", kAttrHidden));
    fake().SetDotEntries(true);
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    tree.ShowTree("", false);
    TreeView::Item drive = view.Find("E:");
    tree.OnItemExpanded(drive, true);
    QCOMPARE(view.ChildLabels(drive), (Labels{"SECRET", "VISIBLE"}));
    // A hidden sub-folder still makes its parent expandable.
    QVERIFY(view.HasPlaceholder(view.Find("E:\\SECRET")));
    tree.OnItemExpanded(view.Find("E:\\SECRET"), true);
    QCOMPARE(view.ChildLabels(view.Find("E:\\SECRET")), (Labels{"INSIDE"}));
  }

  void itemPathIsRebuiltFromTheLabels() {
    fake().AddFolder("E:\\DATA\\DEEP");
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    tree.ShowTree("", false);
    QCOMPARE(tree.ItemPath(view.Find("E:")), std::string("E:"));
    tree.OnItemExpanded(view.Find("E:"), true);
    tree.OnItemExpanded(view.Find("E:\\DATA"), true);
    QCOMPARE(tree.ItemPath(view.Find("E:\\DATA")), std::string("E:\\DATA"));
    QCOMPARE(tree.ItemPath(view.Find("E:\\DATA\\DEEP")), std::string("E:\\DATA\\DEEP"));
  }

  void aFolderAtTheRootShowsItselfAndItsChildren() {
    fake().AddFolder("E:\\PKG\\B");
    fake().AddFolder("E:\\PKG\\a");
    fake().WriteFile("E:\\PKG\\Z.FWP", "z");
    fake().WriteFile("E:\\PKG\\.HIDDEN", "h", kAttrHidden);
    MemoryTreeView view;
    CDirTreeCtrl tree(fake(), view);
    QVERIFY(tree.ShowTree("E:\\PKG", true));
    QCOMPARE(tree.rootFolder(), std::string("E:\\PKG\\"));
    QCOMPARE(view.ChildLabels(nullptr), (Labels{"E:\\PKG"}));
    // Folders first, then files, each sorted; files get no placeholder.
    TreeView::Item root = view.TopLevel(0);
    QCOMPARE(view.ChildLabels(root), (Labels{"a", "B", ".HIDDEN", "Z.FWP"}));
    QVERIFY(!view.HasPlaceholder(view.TopLevel(0)));
    TreeView::Item file = view.Child(root, 3);
    QCOMPARE(tree.ItemPath(file), std::string("E:\\PKG\\Z.FWP"));
  }

  void failuresLeaveTheTreeEmptyWithTheirText() {
    MemoryTreeView view;
    view.imagesAvailable = false;
    CDirTreeCtrl tree(fake(), view);
    QVERIFY(!tree.ShowTree("", false));
    QCOMPARE(tree.errorText(), std::string("Cannot retrieve the Handle of SystemImageList!"));
    QVERIFY(view.ChildLabels(nullptr).empty());
  }

  void lastPathPartAndSorting() {
    QCOMPARE(LastPathPart("E:\\DATA\\"), std::string("DATA"));
    QCOMPARE(LastPathPart("E:\\DATA\\SUB"), std::string("SUB"));
    QCOMPARE(LastPathPart("NOSLASH"), std::string("NOSLASH"));
    CSortStringArray names{"b", "B", "a", "_x", "A"};
    names.Sort();
    // _stricmp order: '_' sorts before letters; equal-but-for-case keep their order.
    QCOMPARE(static_cast<Labels>(names), (Labels{"_x", "a", "A", "b", "B"}));
    CSortStringArray one{"only"};
    one.Sort();
    QCOMPARE(one.size(), size_t{1});
  }

 private:
  FakePlatform& fake() { return *fake_; }
  std::unique_ptr<FakePlatform> fake_;
};

QTEST_APPLESS_MAIN(DirTreeTest)
#include "dir_tree.moc"
