#include "job/jobs.h"
#include "ui/cardwright_dlg.h"

namespace cw {

// Apart from the rest of the dialog, so that tests with their own workers need not link the jobs.
JobWorkers DefaultJobWorkers(Platform& platform) {
  return {JobWorkers::Store([&platform](JobContext* job, const StoreRequest& request) {
            return DownloadAndVerify(platform, job, request);
          }),
          JobWorkers::Verify([&platform](JobContext* job, const VerifyRequest& request) {
            return VerifyOnly(platform, job, request);
          })};
}

}  // namespace cw
