// The native window under Wine: the dialog made from the resources, its controls where the
// templates put them, the settings dialog, the tree, and whole verify-only and store jobs
// (with the panel model chooser) on the removable drive E: that the Wine driver maps, started
// and answered by clicks.

#include "ui/win32/win32_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "record/job_context.h"
#include "journal/journal_file.h"
#include "package/package_writer.h"
#include "platform/drive_map.h"
#include "platform/host_platform.h"
#include "package/crc_list_writer.h"
#include "support/journal_entries.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"
#include "rules/bhelper.h"
#include "ui/dialog_layout.h"
#include "ui/win32/pictures.h"
#include "ui/history_dialog.h"
#include "ui/win32/resource_ids.h"
#include "ui/win32/win32_dialog_view.h"
#include "ui/win32/win32_prompt.h"

namespace cw::test {
namespace {

std::string Environment(const char* name) {
  char buffer[1024] = {};
  const DWORD length = ::GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return length == 0 || length >= sizeof buffer ? std::string() : std::string(buffer, length);
}

// Deletes everything inside `folder` (a Windows path), leaving the folder.
void EmptyFolder(const std::string& folder) {
  WIN32_FIND_DATAA entry{};
  HANDLE search = ::FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      EmptyFolder(path);
      ::RemoveDirectoryA(path.c_str());
    } else {
      ::DeleteFileA(path.c_str());
    }
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
}

struct Placement {
  int id;
  const char* className;
  int x, y, width, height;
};

// Template 102's controls with an id, in template order.
const Placement kMainControls[] = {
    {kIdStore, "Button", 72, 199, 65, 14},        {kIdPackageBox, "Edit", 72, 39, 132, 14},
    {kIdBrowse, "Button", 206, 39, 50, 14},       {kIdCardBox, "Edit", 72, 163, 131, 14},
    {kIdStatus1, "Edit", 77, 220, 142, 12},       {kIdTree, "SysTreeView32", 72, 108, 132, 50},
    {kIdVerify, "Button", 149, 199, 50, 14},      {kIdPassMark1, "Static", 50, 216, 20, 20},
    {kIdProgress, "msctls_progress32", 74, 245, 127, 11},
    {kIdEngineVersion, "Edit", 75, 57, 135, 12},  {kIdPanelVersion, "Edit", 75, 74, 141, 12},
    {kIdFailMark1Left, "Static", 17, 212, 31, 25}, {kIdFailMark1Right, "Static", 227, 212, 31, 25},
    {kIdStatus2, "Edit", 77, 264, 142, 12},       {kIdPassMark2, "Static", 51, 261, 20, 20},
    {kIdFailMark2Left, "Static", 18, 250, 31, 25}, {kIdFailMark2Right, "Static", 228, 250, 31, 25},
    {kIdAdvanced, "Button", 245, 278, 50, 14},    {kIdHistory, "Button", 190, 278, 50, 14},
};

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // the shell's icons, as the program does
    card_ = Environment("CARDWRIGHT_WINE_CARD");
    // Wine reports every folder drive as NTFS: the mapping says what a FAT16 card would.
    HostPlatformOptions options;
    std::string error;
    if (!card_.empty()) {
      std::optional<DriveMapping> mapping = ParseDriveMapping(
          card_ + "=" + card_ + "\\,removable,fs=FAT16,bytes=67108864", &error);
      ASSERT_TRUE(mapping) << error;
      options.mappings.push_back(*mapping);
      EmptyFolder(card_);
    }
    platform_ = MakeHostPlatform(options);
    // A store of an earlier test or run remembers its package, which may be gone by now: the
    // start-up would tell so in a box. Every test starts as on a fresh PC.
    char documents[MAX_PATH] = {};
    if (::SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents) == S_OK)
      ::DeleteFileA((std::string(documents) + "\\BREVANT\\QUORVANE\\LastPathUsed.txt").c_str());
  }

  void TearDown() override {
    if (view_ && view_->hwnd() != nullptr) {
      ::SendMessageA(view_->hwnd(), WM_CLOSE, 0, 0);
      PumpUntil(nullptr, [&] { return view_->hwnd() == nullptr; }, 15000);
    }
    view_.reset();
    prompt_.reset();
    ::CoUninitialize();
  }

  HWND Open() { return Open(DefaultJobWorkers(*platform_)); }
  HWND Open(JobWorkers workers) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    prompt_ = std::make_unique<win32ui::Win32Prompt>(instance);
    view_ = std::make_unique<win32ui::Win32DialogView>(*platform_, instance, *prompt_,
                                                       std::move(workers));
    view_->logic().SetEndProcess([] { ADD_FAILURE() << "the program would have ended"; });
    // A box at start-up runs its modal loop inside Create: answered, it ends the test's wait.
    BoxAnswerer answerer(kApplicationName);
    HWND dialog = view_->Create();
    for (const std::string& message : answerer.messages())
      ADD_FAILURE() << "the start-up showed a box: " << message;
    if (dialog != nullptr) ::ShowWindow(dialog, SW_SHOW);
    return dialog;
  }

  HWND Control(int id) const { return ::GetDlgItem(view_->hwnd(), id); }
  bool Visible(int id) const { return (::GetWindowLongA(Control(id), GWL_STYLE) & WS_VISIBLE) != 0; }

  // Card files by their path below the card's root.
  void PutOnCard(const std::string& path, const std::string& bytes) {
    const std::string full = card_ + "\\" + path;
    for (size_t slash = full.find('\\', 3); slash != std::string::npos; slash = full.find('\\', slash + 1))
      ::CreateDirectoryA(full.substr(0, slash).c_str(), nullptr);
    ASSERT_TRUE(WriteBytesToFile(*platform_, full, bytes)) << full;
  }
  std::string ReadFromCard(const std::string& path) const {
    std::string bytes;
    HANDLE file = ::CreateFileA((card_ + "\\" + path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
  }

  // Types into a box as a user does: the box reports the change to the dialog.
  void Type(int id, const std::string& text) { ::SetWindowTextA(Control(id), text.c_str()); }

  // Clicks a job button and runs the window until the timer has seen the job end, answering
  // every message box with `answer` and keeping its words.
  void RunJob(int button, int answer = IDOK) {
    BoxAnswerer answerer(kApplicationName, answer);
    Click(view_->hwnd(), button);
    ASSERT_TRUE(view_->logic().jobActive());
    const bool ended =
        PumpUntil(view_->hwnd(), [&] { return !view_->logic().jobActive(); }, 120000);
    messages_ = answerer.messages();
    ASSERT_TRUE(ended) << "the job did not end";
  }

  bool Asked(const std::string& words) const {
    for (const std::string& message : messages_)
      if (message.find(words) != std::string::npos) return true;
    return false;
  }

  std::string card_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<win32ui::Win32Prompt> prompt_;
  std::unique_ptr<win32ui::Win32DialogView> view_;
  std::vector<std::string> messages_;
  TempDir temp_;
};

TEST_F(Win32WindowTest, ControlsLieWhereTheTemplatePutsThem) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr) << "template 102 could not be made";
  RECT client{};
  ::GetClientRect(dialog, &client);
  RECT size{0, 0, 302, 299};
  ::MapDialogRect(dialog, &size);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  std::vector<int> order;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const int id = ::GetDlgCtrlID(child);
    if (id >= 1000) order.push_back(id);
  }
  std::vector<int> expectedOrder;
  for (const Placement& p : kMainControls) {
    SCOPED_TRACE(p.id);
    expectedOrder.push_back(p.id);
    HWND control = Control(p.id);
    ASSERT_NE(control, nullptr);
    char className[64] = {};
    ::GetClassNameA(control, className, sizeof className);
    EXPECT_STREQ(className, p.className);
    // Windows converts position and size each on its own: map them so.
    RECT expected{p.x, p.y, p.width, p.height};
    ::MapDialogRect(dialog, &expected);
    const RECT actual = ClientRectOf(control);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right - actual.left, expected.right);
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
  }
  EXPECT_EQ(order, expectedOrder);  // the tab order is the template's
}

TEST_F(Win32WindowTest, StartsIdleWithItsTitleMarksAndPictures) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(TextOf(dialog), "Ver. 1.061 - Quorvane FWP File Downloader and Verifier");
  for (int id : {kIdPassMark1, kIdPassMark2, kIdFailMark1Left, kIdFailMark1Right,
                 kIdFailMark2Left, kIdFailMark2Right})
    EXPECT_FALSE(Visible(id)) << id;
  for (int id : {kIdBrowse, kIdStore, kIdVerify, kIdAdvanced, kIdPackageBox, kIdCardBox})
    EXPECT_TRUE(::IsWindowEnabled(Control(id))) << id;
  EXPECT_FALSE(::IsWindowEnabled(Control(kIdProgress)));  // display only
  EXPECT_EQ(::SendMessageA(Control(kIdStore), WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON,
            LRESULT{DLGC_DEFPUSHBUTTON});
  const LONG status = ::GetWindowLongA(Control(kIdStatus1), GWL_STYLE);
  EXPECT_TRUE(status & ES_READONLY);
  EXPECT_FALSE(status & WS_TABSTOP);
  EXPECT_FALSE(::GetWindowLongA(Control(kIdTree), GWL_STYLE) & (TVS_HASLINES | TVS_HASBUTTONS));
  EXPECT_NE(::SendMessageA(dialog, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(::SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_NE(::SendMessageA(Control(kIdPassMark1), STM_GETICON, 0, 0), 0);

  // The fail mark and the labels are blended onto the dialog's face: their corners are it.
  for (int id : {static_cast<int>(kIdFailMark1Left), IDB_STEP1_LABEL, IDB_STEP2_LABEL, IDB_STEP3_LABEL}) {
    SCOPED_TRACE(id);
    auto bitmap = reinterpret_cast<HBITMAP>(
        ::SendMessageA(::GetDlgItem(dialog, id), STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION dib{};
    ASSERT_EQ(::GetObjectA(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
    const auto* pixel = static_cast<const uint8_t*>(dib.dsBm.bmBits);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(RGB(pixel[2], pixel[1], pixel[0]), face);
  }
  // Somewhere in the label is the dark blue of its words.
  auto label = reinterpret_cast<HBITMAP>(
      ::SendMessageA(::GetDlgItem(dialog, IDB_STEP1_LABEL), STM_GETIMAGE, IMAGE_BITMAP, 0));
  DIBSECTION dib{};
  ::GetObjectA(label, sizeof dib, &dib);
  const auto* bytes = static_cast<const uint8_t*>(dib.dsBm.bmBits);
  bool inked = false;
  for (long i = 0; i < dib.dsBm.bmWidth * dib.dsBm.bmHeight && !inked; ++i)
    inked = bytes[4 * i + 2] < 0x40 && bytes[4 * i] > 0x50;
  EXPECT_TRUE(inked);
  // It is the label drawn for the window's scale, as drawn.
  HBITMAP drawn = win32ui::LoadBlendedBitmap(
      ::GetModuleHandleA(nullptr),
      win32ui::PictureAtScale(IDB_STEP1_LABEL, win32ui::PictureScalePercent(dialog)), 0);
  ASSERT_NE(drawn, nullptr);
  BITMAP drawnSize{};
  ::GetObjectA(drawn, sizeof drawnSize, &drawnSize);
  EXPECT_EQ(dib.dsBm.bmWidth, drawnSize.bmWidth);
  EXPECT_EQ(dib.dsBm.bmHeight, drawnSize.bmHeight);
  ::DeleteObject(drawn);
}

// The window's bitmaps are 32-bit DIB sections: their pixels, B, G, R, A.
DIBSECTION DibOf(HBITMAP bitmap) {
  DIBSECTION dib{};
  EXPECT_EQ(::GetObjectA(bitmap, sizeof dib, &dib), static_cast<int>(sizeof dib));
  return dib;
}

// The box around the pixels of `dib` that are not `ground`: the picture's ink.
RECT InkBox(const DIBSECTION& dib, COLORREF ground) {
  RECT box{dib.dsBm.bmWidth, dib.dsBm.bmHeight, 0, 0};
  const auto* bytes = static_cast<const uint8_t*>(dib.dsBm.bmBits);
  for (LONG y = 0; y < dib.dsBm.bmHeight; ++y) {
    for (LONG x = 0; x < dib.dsBm.bmWidth; ++x) {
      const uint8_t* pixel = bytes + 4 * (y * dib.dsBm.bmWidth + x);
      if (RGB(pixel[2], pixel[1], pixel[0]) == ground) continue;
      box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
             std::max(box.bottom, y + 1)};
    }
  }
  return box;
}

// Each picture is drawn for each scale, its own resource: the 100 % one's size times the scale
// (rounded as MulDiv rounds), blended onto the face as that one is, and its ink (words, mark)
// as much larger: painted at the scale, not the 100 % picture on a larger ground.
TEST(Pictures, EachScaleHasItsOwnPictureDrawnAtItsSize) {
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  const COLORREF ground = RGB(10, 20, 30);
  for (int resource : {IDB_STEP1_LABEL, IDB_STEP2_LABEL, IDB_STEP3_LABEL, IDB_FAIL_MARK}) {
    HBITMAP base = win32ui::LoadBlendedBitmap(instance, resource, ground);
    ASSERT_NE(base, nullptr) << resource;
    const DIBSECTION baseDib = DibOf(base);
    const RECT baseInk = InkBox(baseDib, ground);
    for (int percent : {125, 150, 200}) {
      SCOPED_TRACE(std::to_string(resource) + " at " + std::to_string(percent) + " %");
      const int id = win32ui::PictureAtScale(resource, percent);
      EXPECT_NE(id, resource);
      HBITMAP bitmap = win32ui::LoadBlendedBitmap(instance, id, ground);
      ASSERT_NE(bitmap, nullptr);
      const DIBSECTION dib = DibOf(bitmap);
      EXPECT_EQ(dib.dsBm.bmWidth, ::MulDiv(baseDib.dsBm.bmWidth, percent, 100));
      EXPECT_EQ(dib.dsBm.bmHeight, ::MulDiv(baseDib.dsBm.bmHeight, percent, 100));
      const auto* corner = static_cast<const uint8_t*>(dib.dsBm.bmBits);
      EXPECT_EQ(RGB(corner[2], corner[1], corner[0]), ground);
      const RECT ink = InkBox(dib, ground);
      const int inkWidth = ::MulDiv(baseInk.right - baseInk.left, percent, 100);
      const int inkHeight = ::MulDiv(baseInk.bottom - baseInk.top, percent, 100);
      EXPECT_NEAR(ink.right - ink.left, inkWidth, 2 + inkWidth / 20);
      EXPECT_NEAR(ink.bottom - ink.top, inkHeight, 2 + inkHeight / 20);
      ::DeleteObject(bitmap);
    }
    ::DeleteObject(base);
  }
  // The pass mark icon: 32 x 32 at 100 %.
  for (int percent : {100, 125, 150, 200}) {
    SCOPED_TRACE(percent);
    auto icon = static_cast<HICON>(::LoadImageA(
        instance, MAKEINTRESOURCEA(win32ui::PictureAtScale(IDI_PASS_MARK, percent)), IMAGE_ICON,
        0, 0, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP colour{};
    ::GetObjectA(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, ::MulDiv(32, percent, 100));
    EXPECT_EQ(colour.bmHeight, ::MulDiv(32, percent, 100));
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
  }
  EXPECT_EQ(win32ui::PictureAtScale(IDB_FAIL_MARK, 175), IDB_FAIL_MARK);  // no such set
  const int percent = win32ui::PictureScalePercent(nullptr);
  EXPECT_TRUE(percent == 100 || percent == 125 || percent == 150 || percent == 200) << percent;
}

// The shell's namespace starts at the desktop folder, which every Windows user has but the
// Wine driver's fresh prefix lacks; without it the shell gives no icons and the tree stays
// empty, as its rules say. This test makes the folder, so the shell answers.
TEST_F(Win32WindowTest, TheTreeShowsTheCardDriveWithSystemIcons) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  char desktop[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, 0,
                               desktop), S_OK);
  PutOnCard("BETA\\X.TXT", "x");
  PutOnCard("Alpha\\Y.TXT", "y");
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  // The drives are probed off the window's thread; their items come as the results do.
  ASSERT_TRUE(PumpUntil(dialog, [&] { return view_->probesPending() == 0; }));
  HWND tree = Control(kIdTree);
  EXPECT_NE(::SendMessageA(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0), 0);
  HTREEITEM cardItem = nullptr;
  std::vector<std::string> drives;
  for (auto item = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
       item != nullptr;
       item = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)))) {
    drives.push_back(view_->Label(item));
    if (drives.back() == card_) cardItem = item;
  }
  EXPECT_EQ(std::count(drives.begin(), drives.end(), "C:"), 0);
  ASSERT_NE(cardItem, nullptr);
  TVITEMA icons{};
  icons.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  icons.hItem = cardItem;
  ASSERT_TRUE(::SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&icons)));
  EXPECT_GE(icons.iImage, 0);

  // Expanding reads the folders, sorted; selecting one fills the card box.
  ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(cardItem));
  std::vector<std::string> folders;
  HTREEITEM first = reinterpret_cast<HTREEITEM>(
      ::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(cardItem)));
  for (HTREEITEM item = first; item != nullptr;
       item = reinterpret_cast<HTREEITEM>(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item))))
    folders.push_back(view_->Label(item));
  EXPECT_EQ(folders, (std::vector<std::string>{"Alpha", "BETA"}));
  ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(first));
  EXPECT_EQ(TextOf(Control(kIdCardBox)), card_ + "\\Alpha");
}

// A card put in or taken out: Windows tells every top-level window with WM_DEVICECHANGE. The
// drive comes from DefineDosDevice here, the message from the test (Wine sends none for it);
// the card drive keeps its expanded folders and the chosen folder.
TEST_F(Win32WindowTest, TheTreeFollowsCardsThatComeAndGo) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  char desktop[MAX_PATH] = {};
  ASSERT_EQ(::SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_CREATE, nullptr, 0,
                               desktop), S_OK);
  PutOnCard("APP\\X.TXT", "x");
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(PumpUntil(dialog, [&] { return view_->probesPending() == 0; }));
  HWND tree = Control(kIdTree);
  const auto drives = [&] {
    std::vector<std::string> labels;
    for (TreeView::Item item : view_->Children(nullptr)) labels.push_back(view_->Label(item));
    return labels;
  };
  const auto itemOf = [&](const std::string& label) -> HTREEITEM {
    for (TreeView::Item item : view_->Children(nullptr))
      if (view_->Label(item) == label) return static_cast<HTREEITEM>(item);
    return nullptr;
  };
  HTREEITEM cardItem = itemOf(card_);
  ASSERT_NE(cardItem, nullptr);
  ::SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(cardItem));
  const auto folder = static_cast<HTREEITEM>(view_->Children(cardItem).at(0));
  ::SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(folder));
  ASSERT_EQ(TextOf(Control(kIdCardBox)), card_ + "\\APP");

  const auto volumeMessage = [&](WPARAM event) {
    DEV_BROADCAST_VOLUME volume{};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << ('R' - 'A');
    ::SendMessageA(dialog, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&volume));
  };
  ASSERT_TRUE(::DefineDosDeviceA(0, "R:", temp_.path().c_str()));
  volumeMessage(DBT_DEVICEARRIVAL);
  ASSERT_TRUE(PumpUntil(dialog, [&] { return view_->probesPending() == 0; }));
  std::vector<std::string> shown = drives();
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "R:"), 1);
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_EQ(itemOf(card_), cardItem);
  EXPECT_EQ(::SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), reinterpret_cast<LRESULT>(folder));
  EXPECT_TRUE(::SendMessageA(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(cardItem),
                             TVIS_EXPANDED) & TVIS_EXPANDED);

  ASSERT_TRUE(::DefineDosDeviceA(DDD_REMOVE_DEFINITION, "R:", nullptr));
  volumeMessage(DBT_DEVICEREMOVECOMPLETE);
  shown = drives();
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "R:"), 0);
  EXPECT_EQ(itemOf(card_), cardItem);
  EXPECT_EQ(TextOf(Control(kIdCardBox)), card_ + "\\APP");
}

TEST_F(Win32WindowTest, AdvancedSettingsFollowTheirRulesAndSaveOnOk) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  bool seen = false;
  WhenDialogOpens("Advanced Settings", [&](HWND settings) {
    seen = true;
    EXPECT_EQ(::IsDlgButtonChecked(settings, 1036), UINT{BST_CHECKED});  // Create Backup
    EXPECT_EQ(::IsDlgButtonChecked(settings, 1042), UINT{BST_UNCHECKED});  // Restore Only
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(settings, 1042)));
    EXPECT_EQ(::IsDlgButtonChecked(settings, 1045), UINT{BST_UNCHECKED});
    EXPECT_EQ(::IsDlgButtonChecked(settings, 1046), UINT{BST_UNCHECKED});
    RECT ok{LAYOUT_ADVANCED_OK};
    ::MapDialogRect(settings, &ok);
    const RECT okAt = ClientRectOf(::GetDlgItem(settings, IDOK));
    EXPECT_EQ(okAt.left, ok.left);
    EXPECT_EQ(okAt.top, ok.top);
    EXPECT_EQ(okAt.right - okAt.left, ok.right);
    Click(settings, 1036);  // Create Backup off: Restore Only can be chosen
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(settings, 1042)));
    Click(settings, 1042);
    Click(settings, 1046);
    Click(settings, IDOK);
  });
  Click(dialog, kIdAdvanced);
  EXPECT_TRUE(seen);
  const AdvancedSettings& settings = view_->logic().settings();
  EXPECT_TRUE(settings.skipBackup);
  EXPECT_TRUE(settings.restoreOnly);
  EXPECT_EQ(settings.target, TargetChoice::kPanel);
  EXPECT_EQ(TextOf(Control(kIdStatus1)), "Downloading to a PANEL compact flash");
}

// "History..." lists the card journal of the data folder newest first; a card narrows it.
TEST_F(Win32WindowTest, HistoryListsTheJournalNewestFirstAndByCard) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  const std::string data = view_->logic().dataPath();
  ::DeleteFileA(JournalPath(data).c_str());  // a job of an earlier test may have left lines
  for (const JournalEntry& entry :
       {SampleJournalEntry(JobKind::kStore, JobOutcome::kPassed, 0),
        SampleJournalEntry(JobKind::kVerifyOnly, JobOutcome::kFailed, 24 * 60, 0x0BAD0001),
        SampleJournalEntry(JobKind::kRestoreOnly, JobOutcome::kPassed, 48 * 60)})
    ASSERT_TRUE(AppendJobToJournal(*platform_, data, entry));
  std::vector<std::string> started, note;
  std::vector<std::vector<std::string>> jobs;  // the job column, for every card and then one
  WhenDialogOpens("History", [&](HWND history) {
    HWND list = ::GetDlgItem(history, kIdHistoryList);
    HWND card = ::GetDlgItem(history, kIdHistoryCard);
    started = ListColumn(list, 0);
    jobs.push_back(ListColumn(list, 1));
    note.push_back(TextOf(::GetDlgItem(history, kIdHistoryNote)));
    ChooseComboItem(card, 2);
    jobs.push_back(ListColumn(list, 1));
    note.push_back(TextOf(::GetDlgItem(history, kIdHistoryNote)));
    Click(history, IDCANCEL);
  });
  Click(dialog, kIdHistory);
  ::DeleteFileA(JournalPath(data).c_str());
  EXPECT_EQ(started, (std::vector<std::string>{"2026-03-03 10:00:00 +01:00",
                                               "2026-03-02 10:00:00 +01:00",
                                               "2026-03-01 10:00:00 +01:00"}));
  EXPECT_EQ(jobs, (std::vector<std::vector<std::string>>{
                      {"restore_only", "verify_only", "store"}, {"verify_only"}}));
  EXPECT_EQ(note, (std::vector<std::string>{"3 entries", "1 entry"}));
}

// The packages: an Engine release of two files, "APP\\MAIN.BIN" and "APP\\LIB\\UTIL.DLL".
constexpr const char* kLibrary = "library";

TEST_F(Win32WindowTest, VerifyOnlyOfAProgrammedCardShowsThePassMark) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  const std::string bytes = BuildPackage(EngineRelease("engine program", kLibrary));
  PutOnCard("APP\\MAIN.BIN", "engine program");
  PutOnCard("APP\\LIB\\UTIL.DLL", kLibrary);
  PutOnCard("UPGRADE.FWP", bytes);
  ASSERT_NE(Open(), nullptr);
  Type(kIdPackageBox, "");  // the card's own stored copy is the reference
  Type(kIdCardBox, card_);
  RunJob(kIdVerify);
  EXPECT_TRUE(Visible(kIdPassMark1));
  EXPECT_FALSE(Visible(kIdFailMark1Left) || Visible(kIdFailMark1Right));
  EXPECT_FALSE(Visible(kIdPassMark2) || Visible(kIdFailMark2Left));
  EXPECT_TRUE(messages_.empty()) << messages_.front();
  EXPECT_FALSE(TextOf(Control(kIdStatus1)).empty());
  // The bar counts the package's two files and stands at the last one's index.
  EXPECT_EQ(::SendMessageA(Control(kIdProgress), PBM_GETRANGE, FALSE, 0), 2);
  EXPECT_EQ(::SendMessageA(Control(kIdProgress), PBM_GETPOS, 0, 0), 1);
  for (int id : {kIdBrowse, kIdStore, kIdVerify, kIdAdvanced, kIdPackageBox, kIdCardBox})
    EXPECT_TRUE(::IsWindowEnabled(Control(id))) << id;
}

TEST_F(Win32WindowTest, VerifyOnlyOfADamagedCardShowsTheFailMarks) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  PutOnCard("APP\\MAIN.BIN", "engine program, damaged");
  PutOnCard("APP\\LIB\\UTIL.DLL", kLibrary);
  PutOnCard("UPGRADE.FWP", BuildPackage(EngineRelease("engine program", kLibrary)));
  ASSERT_NE(Open(), nullptr);
  Type(kIdPackageBox, "");
  Type(kIdCardBox, card_);
  RunJob(kIdVerify);
  EXPECT_TRUE(Visible(kIdFailMark1Left) && Visible(kIdFailMark1Right));
  EXPECT_FALSE(Visible(kIdPassMark1));
  EXPECT_TRUE(Asked(card_ + "\\APP\\MAIN.BIN"));
}

TEST_F(Win32WindowTest, StoreFromTheWindowProgramsTheCardAfterTheQuestion) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  PutOnCard("UPGRADE.FWP", BuildPackage(EngineRelease("old main", kLibrary)));
  PutOnCard("APP\\MAIN.BIN", "old main");
  PutOnCard("APP\\LIB\\UTIL.DLL", kLibrary);
  PutOnCard("NOTES.TXT", "notes");
  std::string package = temp_.path() + "\\NEW.FWP";
  for (char& c : package)
    if (c == '/') c = '\\';
  ASSERT_TRUE(
      WriteBytesToFile(*platform_, package, BuildPackage(EngineRelease("new main", kLibrary))));
  ASSERT_NE(Open(), nullptr);
  Type(kIdPackageBox, package);
  Type(kIdCardBox, card_);
  EXPECT_EQ(view_->logic().packagePath(), package);  // typing ran the change handler
  RunJob(kIdStore);
  EXPECT_TRUE(Asked("All files will be replaced with new ones.")) << messages_.size();
  EXPECT_TRUE(Visible(kIdPassMark1));
  EXPECT_FALSE(Visible(kIdFailMark1Left) || Visible(kIdFailMark2Left) || Visible(kIdPassMark2));
  EXPECT_EQ(ReadFromCard("APP\\MAIN.BIN"), "new main");
  EXPECT_EQ(ReadFromCard("NOTES.TXT"), "notes");
  EXPECT_NE(ReadFromCard("FWP_INFO_FILE.TXT").find("Upgrade Info Start"), std::string::npos);
}

// The close box while the job asks its question (the box is the job's, on its thread): the
// question ends as Cancel, the job ends before the card changes, then the window closes.
TEST_F(Win32WindowTest, ClosingTheWindowCancelsTheJobsQuestion) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  PutOnCard("UPGRADE.FWP", BuildPackage(EngineRelease("old main", kLibrary)));
  PutOnCard("APP\\MAIN.BIN", "old main");
  std::string package = temp_.path() + "\\NEW.FWP";
  for (char& c : package)
    if (c == '/') c = '\\';
  ASSERT_TRUE(
      WriteBytesToFile(*platform_, package, BuildPackage(EngineRelease("new main", kLibrary))));
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  Type(kIdPackageBox, package);
  Type(kIdCardBox, card_);
  std::string asked;
  WhenDialogOpens(kApplicationName, [&](HWND box) {
    asked = StaticTexts(box);
    EXPECT_NE(::GetWindowThreadProcessId(box, nullptr), ::GetCurrentThreadId());
    EXPECT_EQ(::GetWindow(box, GW_OWNER), dialog);
    ::PostMessageA(dialog, WM_CLOSE, 0, 0);
  });
  Click(dialog, kIdStore);
  EXPECT_TRUE(PumpUntil(dialog, [&] { return view_->hwnd() == nullptr; }, 60000))
      << "the window did not close";
  EXPECT_NE(asked.find("All files will be replaced with new ones."), std::string::npos) << asked;
  EXPECT_EQ(ReadFromCard("APP\\MAIN.BIN"), "old main");
}

// A store job that changes the card, then, asked to stop, puts it back for `restoreMs`.
class SessionEndTest : public Win32WindowTest {
 protected:
  HWND StartChangingJob(DWORD restoreMs) {
    restoreMs_ = restoreMs;
    JobWorker store = [this](JobContext* job) {
      job->cardMayHaveChanged = 1;
      while (job->stopRequested == 0) ::Sleep(5);
      stopSeen_ = true;
      job->restoreState = kPhaseRunning;
      ::Sleep(restoreMs_);
      job->restoreState = kPhaseDone;
      restored_ = true;
      job->jobRunning = 0;
      return JobResult{.outcome = JobOutcome::kStopped};
    };
    HWND dialog = Open(JobWorkers{store, store});
    if (dialog == nullptr) return nullptr;
    Type(kIdCardBox, "C:");
    Click(dialog, kIdStore);
    EXPECT_TRUE(view_->logic().jobActive());
    EXPECT_TRUE(PumpUntil(dialog, [&] { return view_->logic().job().cardMayHaveChanged != 0; }));
    return dialog;
  }
  DWORD restoreMs_ = 0;
  std::atomic<bool> stopSeen_{false}, restored_{false};
};

// Windows asks whether the session may end while the card may have changed: no, until the job
// has put the card back; the job is asked to stop at the first asking.
TEST_F(SessionEndTest, TheSessionMayNotEndBeforeTheCardIsRestored) {
  HWND dialog = StartChangingJob(400);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(::SendMessageA(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), FALSE);
  EXPECT_TRUE(PumpUntil(dialog, [&] { return stopSeen_.load(); }));
  EXPECT_FALSE(restored_);
  EXPECT_EQ(::SendMessageA(dialog, WM_QUERYENDSESSION, 0, 0), FALSE);
  EXPECT_TRUE(::IsWindow(dialog));
  // The job's end closes the window, as a close during a job does.
  EXPECT_TRUE(PumpUntil(dialog, [&] { return view_->hwnd() == nullptr; }, 30000));
  EXPECT_TRUE(restored_);
}

// The session ends (Windows ends the process once the message returns): the job is asked to
// stop and the message returns only once its restore has ended.
TEST_F(SessionEndTest, TheSessionsEndWaitsForTheRestore) {
  HWND dialog = StartChangingJob(400);
  ASSERT_NE(dialog, nullptr);
  ::SendMessageA(dialog, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(stopSeen_);
  EXPECT_TRUE(restored_);
  EXPECT_EQ(view_->logic().job().jobRunning.load(), 0);
}

// Tearing the window down (an application quit ends the modal loop, then the view goes) never
// leaves a changed card behind: the view's end asks the job to stop and waits for the restore.
TEST_F(SessionEndTest, TearingTheWindowDownWaitsForTheRestore) {
  HWND dialog = StartChangingJob(400);
  ASSERT_NE(dialog, nullptr);
  view_.reset();
  EXPECT_TRUE(stopSeen_);
  EXPECT_TRUE(restored_);
}

// Esc during a job asks first: Cancel leaves the job running, OK stops it as the close box
// does (the window closes once the card is back).
TEST_F(SessionEndTest, EscDuringAJobAsksBeforeStopping) {
  HWND dialog = StartChangingJob(100);
  ASSERT_NE(dialog, nullptr);
  {
    BoxAnswerer answerer(kApplicationName, IDCANCEL);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_EQ(answerer.messages().size(), 1u);
    EXPECT_NE(answerer.messages()[0].find("A job is running. Stop it"), std::string::npos);
  }
  EXPECT_EQ(view_->logic().job().stopRequested.load(), 0);
  EXPECT_FALSE(view_->logic().closing());
  {
    BoxAnswerer answerer(kApplicationName, IDOK);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(answerer.messages().size(), 1u);
  }
  EXPECT_TRUE(view_->logic().closing());
  EXPECT_TRUE(PumpUntil(dialog, [&] { return view_->hwnd() == nullptr; }, 30000));
  EXPECT_TRUE(restored_);
}

uint32_t Crc(const std::string& text) {
  CBHelper helper;  // builds the table
  return CBHelper::BufferCRC(reinterpret_cast<const unsigned char*>(text.data()),
                             static_cast<uint32_t>(text.size()));
}

// A 3940 panel release: its operating system, an application, a help file and the CRC list
// naming them.
PackageSpec PanelPackage() {
  PackageSpec spec;
  spec.releaseNumber = 0x01020304;
  spec.winceIncluded = 1;
  spec.files = {MakeFile(kKindPanel3940, "NK.BIN", "new os"),
                MakeFile(kKindPanel3940, "BREVANT\\APP.EXE", "new app"),
                MakeFile(kKindPanel3940, "BREVANT\\HELP.TXT", "help"),
                MakeFile(kKindPanel3940Raw, "Quorvane File CRCs.dat",
                         BuildCRCList({{"NK.BIN", Crc("new os")},
                                       {"BREVANT\\APP.EXE", Crc("new app")},
                                       {"BREVANT\\HELP.TXT", Crc("help")}}))};
  return spec;
}

class ChooserTest : public Win32WindowTest {
 protected:
  // A card whose files tell no kind of device, a panel package for it, the target set to
  // Panel; then "Store and Verify", with `choose` acting on the chooser when it opens.
  void StoreOntoUnknownCard(std::function<void(HWND)> choose) {
    PutOnCard("DATA.BIN", "data");
    std::string package = temp_.path() + "\\PANEL.FWP";
    for (char& c : package)
      if (c == '/') c = '\\';
    ASSERT_TRUE(WriteBytesToFile(*platform_, package, BuildPackage(PanelPackage())));
    ASSERT_NE(Open(), nullptr);
    Type(kIdPackageBox, package);
    Type(kIdCardBox, card_);
    view_->logic().settings().target = TargetChoice::kPanel;  // as "Advanced Settings" sets it
    WhenDialogOpens("Please Choose Panel Type", [&](HWND chooser) {
      seen_ = true;
      EXPECT_EQ(::IsDlgButtonChecked(chooser, 1030), UINT{BST_CHECKED});  // 3940
      EXPECT_EQ(::IsDlgButtonChecked(chooser, 1031), UINT{BST_UNCHECKED});
      // No owner: a window of its own, on the job's thread, the main dialog still live.
      EXPECT_EQ(::GetWindow(chooser, GW_OWNER), nullptr);
      EXPECT_NE(::GetWindowThreadProcessId(chooser, nullptr), ::GetCurrentThreadId());
      EXPECT_TRUE(view_->logic().jobActive());
      choose(chooser);
    });
    RunJob(kIdStore);
    EXPECT_TRUE(seen_) << "the chooser never opened";
  }
  bool seen_ = false;
};

TEST_F(ChooserTest, TheChosenModelIsProgrammedOntoAnUnknownCard) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  StoreOntoUnknownCard([](HWND chooser) { Click(chooser, IDOK); });
  EXPECT_TRUE(Asked("All files will be replaced with new ones.")) << messages_.size();
  EXPECT_EQ(ReadFromCard("NK.BIN"), "new os");
  EXPECT_EQ(ReadFromCard("BREVANT\\APP.EXE"), "new app");
  EXPECT_EQ(ReadFromCard("BREVANT\\RELEASENUMBER"), std::string("\x04\x03\x02\x01", 4));
  EXPECT_TRUE(Visible(kIdPassMark1));
  EXPECT_FALSE(Visible(kIdFailMark1Left) || Visible(kIdFailMark2Left));
}

TEST_F(ChooserTest, ChooserClosedWithoutOkLeavesTheCardAlone) {
  if (card_.empty()) GTEST_SKIP() << "no card drive mapped (run by scripts/wine-test.sh)";
  StoreOntoUnknownCard([](HWND chooser) {
    Click(chooser, 1031);  // 3950, then the close box: nothing is taken
    ::PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_TRUE(Asked("Please specify a panel version before continuing.")) << messages_.size();
  EXPECT_FALSE(Asked("All files will be replaced with new ones."));
  EXPECT_EQ(ReadFromCard("DATA.BIN"), "data");
  EXPECT_EQ(ReadFromCard("NK.BIN"), "<missing>");
  EXPECT_FALSE(Visible(kIdPassMark1));
}

}  // namespace
}  // namespace cw::test
