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

// A worker entry that records what the job looked like when it started, runs an optional
// body, can hold until released, and then ends the job as every worker does.
class TestWorker {
 public:
  JobWorker Entry() {
    return [this](JobContext* job) {
      ++runs;
      flashPathSeen = job->flashPath;
      fwpPathSeen = job->fwpPath;
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
  std::string flashPathSeen, fwpPathSeen;

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
                                           JobWorkers{store.Entry(), verify.Entry()});
    dlg->SetEndProcess([this] { ++endProcessCalls; });
    dlg->OnInitDialog();
    return *dlg;
  }
  std::string DataPath() const { return dlg->job().dataPath; }
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
