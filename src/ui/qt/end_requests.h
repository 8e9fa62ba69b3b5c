#pragma once
// The ends the desktop asks of a running window: SIGTERM (a log-off or shutdown), SIGHUP (its
// terminal closed), SIGINT (Ctrl-C in the terminal that started it), and the session manager's
// commit request. Each becomes a close of the window, so the job is stopped, and a card that may
// have changed is put back before the program ends, as when the operator closes it; a log-off is
// refused while the window stays open.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace cw {

class EndRequests : public QObject {
 public:
  // `close` closes the window and returns whether it is closed now. One object per process.
  explicit EndRequests(std::function<bool()> close, QObject* parent = nullptr);
  ~EndRequests() override;

 private:
  void OnSignal();

  std::function<bool()> close_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace cw
