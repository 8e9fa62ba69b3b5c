// The version block: ParseVersionBlock on the bytes, and ReadVersionBlock (the read a front end
// runs when a package is chosen) on the same bytes as a file.

#include <cstdint>
#include <string>

#include "fuzz_job.h"
#include "record/job_context.h"
#include "job/read_version_block.h"
#include "support/job_fixture.h"
#include "support/package_builder.h"

using namespace cw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const VersionBlockRead read = ParseVersionBlock(input, size);
  fuzz::Check(read.found || (!read.formatVersion && !read.engine && !read.panel),
              "nothing is read before the first keyword is found");
  fuzz::Check(!read.panel || read.engine, "the panel version is read after the engine's");
  if (read.engine) (void)ComposeVersionText(kEngineVersionPrefix, *read.engine);
  if (read.panel) (void)ComposeVersionText(kPanelVersionPrefix, *read.panel);

  test::JobScope scope;
  scope.fake.WriteFile(test::kPackagePath,
                       std::string(reinterpret_cast<const char*>(input), size));
  PackageVersions versions;
  const VersionTexts texts = ReadVersionBlock(scope.fake, test::kPackagePath, scope.job, versions,
                                              "engine box", "panel box");
  fuzz::Check(texts.opened && texts.found == read.found, "the file read agrees with the parse");
  fuzz::Check(read.engine || texts.engineText == "engine box", "an unread box keeps its text");
  return 0;
}
