#pragma once
// A main dialog wired to in-memory views, the in-memory platform and a scripted prompt, with
// workers the test controls.

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "record/job_context.h"
#include "support/fake_platform.h"
#include "support/scripted_prompt.h"
#include "ui/cardwright_dlg.h"
#include "ui_fakes.h"

namespace cw {

// A worker entry that records the request it was given, runs an optional body, can hold until
// released, and then ends the job as every worker does.
class TestWorker {
 public:
  JobWorkers::Store StoreEntry() {
    return [this](JobContext* job, const StoreRequest& request) {
      requestSeen = request;
      return Entry()(job);
    };
  }
  JobWorkers::Verify VerifyEntry() {
    return [this](JobContext* job, const VerifyRequest& request) {
      requestSeen = StoreRequest{.cardPath = request.cardPath,
                                 .packagePath = request.packagePath,
                                 .dataPath = request.dataPath,
                                 .target = request.target,
                                 .backup = {}};
      return Entry()(job);
    };
  }
  JobWorker Entry() {
    return [this](JobContext* job) {
      ++runs;
      if (body) body(job);
      if (holdUntilReleased) released_.wait();
      job->jobRunning = 0;
      finished_.set_value();
      return result;
    };
  }
  void Release() { release_.set_value(); }
  void WaitUntilFinished() { finishedFuture_.wait(); }

  bool holdUntilReleased = false;
  std::function<void(JobContext*)> body;
  JobResult result;  // what the job returns
  std::atomic<int> runs{0};
  StoreRequest requestSeen;  // a verify's: its card, package, data folder and target

 private:
  std::promise<void> release_;
  std::shared_future<void> released_ = release_.get_future().share();
  std::promise<void> finished_;
  std::future<void> finishedFuture_ = finished_.get_future();
};

struct DialogFixture {
  explicit DialogFixture(FakePlatform& platform) : fake(platform) {}

  // Builds the dialog and runs its start-up.
  CCardwrightDlg& Open() {
    dlg = std::make_unique<CCardwrightDlg>(fake, view, tree, prompt,
                                           JobWorkers{store.StoreEntry(), verify.VerifyEntry()});
    dlg->SetEndProcess([this] { ++endProcessCalls; });
    dlg->OnInitDialog();
    return *dlg;
  }
  std::string DataPath() const { return dlg->dataPath(); }
  std::string LogText() const { return fake.ReadFile(DataPath() + "\\fwp_downloader.log"); }
  bool Logged(const std::string& line) const {
    return LogText().find(line + "\r\n") != std::string::npos ||
           LogText().find(line + "\n") != std::string::npos;
  }
  // Types into the card box, as the operator does.
  void TypeCardPath(const std::string& text) {
    view.texts[kIdCardBox] = text;
    dlg->OnChangeEditCompactFlash();
  }

  FakePlatform& fake;
  FakeDialogView view;
  MemoryTreeView tree;
  ScriptedPrompt prompt;
  TestWorker store, verify;
  int endProcessCalls = 0;
  std::unique_ptr<CCardwrightDlg> dlg;
};

}  // namespace cw
