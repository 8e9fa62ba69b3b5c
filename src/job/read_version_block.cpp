#include "job/read_version_block.h"

#include <memory>

#include "record/job_context.h"
#include "record/job_io.h"
#include "record/job_state.h"
#include "record/prompt.h"
#include "log/log_to_file.h"
#include "platform/platform.h"

namespace cw {
namespace {

// printf with a %c that may be a zero byte: the line ends there, as the C string it was.
std::string CutAtZero(std::string text) {
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

}  // namespace

VersionTexts ReadVersionBlock(Platform& platform, const std::string& path, JobContext& job,
                              PackageVersions& versions, const std::string& engineBoxText,
                              const std::string& panelBoxText) {
  auto log = [&job](const std::string& line) {
    if (job.log) job.log->Log(line);
  };
  VersionTexts texts{false, false, engineBoxText, panelBoxText};
  log("GetFWPVerRev");

  VersionBlockRead read;
  const bool readOk = ReadVersionBlockFile(platform, path, &read);
  if (!readOk) {
    if (job.prompt) {
      job.prompt->MessageBox("FWP file could not be opened!\r\n" + platform.DisplayPath(path),
                             MessageButtons::Ok,
                             MessageIcon::None);
    }
    log("  could not open the fwp file: " + platform.DisplayPath(path));
    return texts;
  }
  texts.opened = true;

  log("  searching for fwp version information.");
  texts.found = read.found;
  VersionBlock& block = versions.versionBlock;
  if (read.formatVersion) block.formatVersion = *read.formatVersion;
  if (read.formatRevision) block.formatRevision = *read.formatRevision;
  if (read.formatLetter) block.formatLetter = *read.formatLetter;
  if (read.formatVersion && read.formatRevision) {
    versions.fwpVersion = FormatNumber(*read.formatVersion, *read.formatRevision);
  }
  if (read.generatorSearched) log("  searching for fwp file generator version.");
  if (read.generatorVersion) block.generatorVersion = *read.generatorVersion;
  if (read.generatorRevision) block.generatorRevision = *read.generatorRevision;
  if (read.generatorLetter) block.generatorLetter = *read.generatorLetter;
  if (read.engineSearched) log("  searching for engine app version.");
  if (read.engine) texts.engineText = ComposeVersionText(kEngineVersionPrefix, *read.engine);
  if (read.panelSearched) log("  searching for fwp panel version.");
  if (read.panel) texts.panelText = ComposeVersionText(kPanelVersionPrefix, *read.panel);
  if (read.truncated) log("  the fwp file ends inside its version block.");

  log("  ");
  log(CutAtZero(Format("  this fwp version is V%d.%d %c", block.formatVersion,
                       block.formatRevision, block.formatLetter)));
  log(CutAtZero(Format("  and was created by fwp generator V%d.%d %c", block.generatorVersion,
                       block.generatorRevision, block.generatorLetter)));
  log(texts.engineText);
  log(texts.panelText);
  return texts;
}

}  // namespace cw
