#include "session/front_end.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "card/file_utils.h"
#include "package/version_block.h"
#include "record/job_events.h"
#include "record/job_io.h"
#include "record/prompt.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "rules/bhelper.h"

namespace cw {
namespace {

constexpr const char* kLastPathFile = "LastPathUsed.txt";
constexpr const char* kDataSuffix = "\\BREVANT\\QUORVANE";
constexpr const char* kLogFileName = "\\fwp_downloader.log";
constexpr int32_t kNewestFormatVersion = 1009;
// The longest line a last-path file gives (its read buffer holds 1,024 with the terminator).
constexpr uint32_t kLastPathLineMax = 1023;

// The front end's thread writes through the job's own log and prompt, whether or not a job runs.
void FrontLog(JobContext& job, const std::string& line) {
  if (job.log != nullptr) job.log->Log(line);
}

// The dialog's boxes: OK button, no icon.
void DialogMessage(JobContext& job, const std::string& text) {
  if (job.prompt != nullptr) job.prompt->MessageBox(text, MessageButtons::Ok, MessageIcon::None);
}

bool CanOpenForRead(Platform& platform, const std::string& path) {
  // A folder is not a file, though the host may let one be opened.
  const uint32_t attributes = platform.GetFileAttributes(path);
  if (attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0) return false;
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::Read);
  if (!file) return false;
  file->Close();
  return true;
}

// The first line of an open last-path file: up to the first CR or LF, at most 1,023 characters.
std::string ReadFirstLine(File& file) {
  std::string text(kLastPathLineMax, '\0');
  uint32_t got = 0;
  if (!file.Read(text.data(), kLastPathLineMax, &got)) got = 0;
  text.resize(got);
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  // A stray zero byte ends the text: the file is read as a C string.
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

std::optional<LastPath> FromLastPathFile(File& file) {
  std::string text = ReadFirstLine(file);
  file.Close();
  if (text.empty()) return std::nullopt;
  return LastPath{text, true};
}

// A missing file reads as the earliest time.
FileTime WriteTimeOf(Platform& platform, const std::string& path) {
  FindEntry info;
  if (!platform.GetFileInfo(path, &info)) return INT64_MIN;
  return info.writeTime;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

// The first file in the program's folder whose upper-cased path holds ".FWP".
std::optional<LastPath> SearchRootForPackage(Platform& platform, const std::string& rootPath) {
  std::vector<FindEntry> entries;
  if (!platform.FindFiles(JoinPath(rootPath, "*.*"), &entries)) return std::nullopt;
  for (const FindEntry& entry : entries) {
    if (entry.IsDirectory()) continue;
    const std::string path = ToUpperAscii(JoinPath(rootPath, entry.name));
    if (Contains(path, ".FWP")) return LastPath{path, false};
  }
  return std::nullopt;
}

// Every job's locks (the log's, the backup folders') and, without a documents folder, its
// data need a folder of this user's own; without one no job starts, and the user is told why.
bool PrivateFolderUsable(Platform& platform, JobContext& job) {
  std::string why;
  if (platform.CheckPrivateFolder(&why)) return true;
  FrontLog(job, Format("  no private folder: %s.", why.c_str()));
  if (job.prompt != nullptr) {
    job.prompt->MessageBox(Format("Cardwright cannot start a job: %s. It keeps its locks and "
                                  "temporary files in a folder of this user's own.",
                                  why.c_str()),
                           MessageButtons::Ok, MessageIcon::Warning);
  }
  return false;
}

}  // namespace

void RunLockWait::Waiting(bool waiting) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto show = [this](const std::string& text) {
    job_.statusText.Set(text);
    if (job_.events != nullptr) job_.events->StatusChanged(text);
  };
  if (waiting) {
    before_ = job_.statusText.Get();
    show(kLockWaitStatus);
  } else if (job_.statusText.Get() == kLockWaitStatus) {
    show(before_);
  }
}

RunFolders StartRun(Platform& platform, JobContext& job, CLogToFile& log) {
  RunFolders folders;
  folders.rootPath = platform.GetCurrentDirectory();

  std::string documents;
  bool dataIsTemporary = false;
  if (platform.GetDocumentsFolder(&documents)) {
    folders.dataPath = ToUpperAscii(documents) + kDataSuffix;
  } else {
    if (job.prompt != nullptr) {
      job.prompt->MessageBox("The downloader failed it's SHGetFolderPath call.  Bad news.",
                             MessageButtons::Ok, MessageIcon::Warning);
    }
    folders.dataPath = platform.GetTempPath();
    dataIsTemporary = true;
  }

  // A temporary folder that is not the user's own gets nothing: no folder, no log, no last
  // path (the data path stays empty). The jobs refuse to start and say why.
  if (dataIsTemporary && !platform.CheckPrivateFolder(nullptr)) folders.dataPath.clear();

  job.log = &log;
  if (!folders.dataPath.empty()) {
    // A folder that cannot be made leaves logging off for the run; start-up goes on.
    CFileUtils(platform).CreateFolderPath(folders.dataPath);
    log.SetLogFile(folders.dataPath + kLogFileName);
  }
  log.SetEnabled(true);

  log.Log(" ");
  log.Log("---------------------------------------------------");
  log.Log(" ");
  log.Log(Format("FWP Downloader v %d beginning execution.", kProgramVersion));
  log.Log(" ");
  log.Log(Format("Rootpath: %s", platform.DisplayPath(folders.rootPath).c_str()));
  log.Log(Format("Datapath: %s", platform.DisplayPath(folders.dataPath).c_str()));
  return folders;
}

std::optional<LastPath> ResolveLastPath(Platform& platform, JobContext& job,
                                        const RunFolders& folders) {
  const std::string dataCopy = folders.dataPath + "\\" + kLastPathFile;
  const std::string rootCopy = folders.rootPath + "\\" + kLastPathFile;
  FrontLog(job, Format("Last fwp used: %s", platform.DisplayPath(dataCopy).c_str()));

  // The copy beside the program seeds the user's copy, and replaces it when it is newer.
  // Without a data folder there is no user's copy.
  const bool userCopy = !folders.dataPath.empty();
  CFileUtils files(platform);
  if (userCopy && !files.FileExists(dataCopy)) {
    files.CopyNewFile(dataCopy, rootCopy);
  } else if (userCopy && WriteTimeOf(platform, rootCopy) > WriteTimeOf(platform, dataCopy)) {
    files.RemoveFile(dataCopy);
    files.CopyNewFile(dataCopy, rootCopy);
  }

  std::unique_ptr<File> file;
  if (userCopy) file = platform.OpenFile(dataCopy, OpenMode::ReadWrite);
  if (file) {
    FrontLog(job, "  located.");
    return FromLastPathFile(*file);
  }
  if (std::unique_ptr<File> file = platform.OpenFile(kLastPathFile, OpenMode::Read)) {
    FrontLog(job, "  did not locate, using local LastPathUsed.txt");
    return FromLastPathFile(*file);
  }
  FrontLog(job, "  did not locate previous or local last path, searching.");
  return SearchRootForPackage(platform, folders.rootPath);
}

std::optional<DetectedCard> DetectCardTarget(Platform& platform, JobContext& job,
                                             const std::string& cardPath) {
  FrontLog(job, "OnChangeEditCompactFlash");
  FrontLog(job, Format("  CFpath is %s", cardPath.c_str()));
  CBHelper crcHelper;  // builds the CRC table, as the handler always has
  if (cardPath.empty()) return std::nullopt;

  // Only an engine card carries the stored copy FWP_3950.FWP, so it wins over a boot image.
  if (CanOpenForRead(platform, cardPath + "\\FWP_3950.FWP")) {
    FrontLog(job, "  this is an engine flash.");
    return DetectedCard{TargetChoice::kEngine, kEngineCardStatus};
  }
  if (CanOpenForRead(platform, cardPath + "\\BOOT.BMP") ||
      CanOpenForRead(platform, cardPath + "\\_BOOT.BMP")) {
    FrontLog(job, "  this is a panel flash.");
    return DetectedCard{TargetChoice::kPanel, kPanelCardStatus};
  }
  return std::nullopt;
}

bool CheckStoreRequest(Platform& platform, JobContext& job, const StoreRequest& request) {
  FrontLog(job, "OnDownloadAndVerify");
  if (!PrivateFolderUsable(platform, job)) return false;
  if (request.cardPath.empty()) {
    FrontLog(job, "  no CF drive selected.");
    DialogMessage(job, "Please choose a valid drive.");
    return false;
  }
  // The package's own format, not what an earlier choice left: a typed path was never read.
  const int32_t fwpVersion = PackageVersionsOf(platform, request.packagePath).fwpVersion;
  if (fwpVersion > kNewestFormatVersion) {
    FrontLog(job, Format(" incompatible issue: fwp version is %d, max fwp version: %d",
                         fwpVersion, kNewestFormatVersion));
    DialogMessage(job,
                  "FWP Downloader and FWP file are incompatible. Please download the latest "
                  "version of the downloader.");
    return false;
  }
  const std::string lastPath = request.dataPath + "\\" + kLastPathFile;
  if (std::unique_ptr<File> file = platform.OpenFile(lastPath, OpenMode::CreateAlways)) {
    const bool written =
        file->Write(request.packagePath.data(), static_cast<uint32_t>(request.packagePath.size()));
    const bool closed = file->Close();
    // The log says only what happened: a failed write does not claim the path was saved.
    if (written && closed)
      FrontLog(job, Format("  saved %s as the last file path.",
                           platform.DisplayPath(request.packagePath).c_str()));
  }
  return true;
}

bool CheckVerifyRequest(Platform& platform, JobContext& job, const VerifyRequest& request) {
  if (!PrivateFolderUsable(platform, job)) return false;
  if (request.cardPath.empty()) {
    DialogMessage(job, "Please choose a valid drive.");
    return false;
  }
  return true;
}

bool StoreDiagnostics(Platform& platform, JobContext& job, const std::string& dataPath) {
  FrontLog(job, "StoreDiagnostics");
  const std::string path = dataPath + kDiagnosticsFileName;
  FrontLog(job, platform.DisplayPath(path));
  std::unique_ptr<File> file = platform.OpenFile(path, OpenMode::CreateAlways);
  if (!file) {
    FrontLog(job, "  failed to open.");
    DialogMessage(job, "Could not open file for logging.");
    return false;
  }
  const std::string text = job.diagnosticsText.Get();
  const bool written = file->Write(text.data(), static_cast<uint32_t>(text.size()));
  // A transcript that is not all on disk is not saved, whatever the write said.
  if (!file->Close() || !written) {
    FrontLog(job, "  could not be saved.");
    return false;
  }
  FrontLog(job, "  saved.");
  return true;
}

std::string CardPathOfHostFolder(Platform& platform, const std::string& text) {
  if (text.empty() || text.front() != '/') return text;
  std::string host = text;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  for (const std::string& root : platform.LogicalDriveStrings()) {
    if (root == "C:\\") continue;  // the host's own root is never a card
    std::string rootHost = platform.DriveHostPath(root);
    while (rootHost.size() > 1 && rootHost.back() == '/') rootHost.pop_back();
    if (!rootHost.empty() && rootHost == host) return root.substr(0, 2);
  }
  return text;
}

}  // namespace cw
