#include "job/jobs.h"
#include "ui/cardwright_dlg.h"

namespace cw {

// Apart from the rest of the dialog, so that tests with their own workers need not link the jobs.
JobWorkers DefaultJobWorkers(Platform& platform) {
  return {
      [&platform](JobContext* job) {
        return DownloadAndVerify(platform, job, StoreRequestOf(*job));
      },
      [&platform](JobContext* job) { return VerifyOnly(platform, job, VerifyRequestOf(*job)); }};
}

}  // namespace cw
