#include "ui/qt/end_requests.h"

#include <fcntl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <array>
#include <csignal>

namespace cw {
namespace {

constexpr std::array<int, 3> kEndSignals = {SIGTERM, SIGHUP, SIGINT};
// A signal handler may only write: the window's thread reads the other end of this pipe.
int signalPipe[2] = {-1, -1};

extern "C" void OnEndSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

}  // namespace

EndRequests::EndRequests(std::function<bool()> close, QObject* parent)
    : QObject(parent), close_(std::move(close)) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { OnSignal(); });
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kEndSignals) ::sigaction(signal, &action, nullptr);
  }
  // A log-off: the window closes as the close box would; while it cannot yet, the session
  // is asked to wait (where it lets us).
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
      if (!close_() && manager.allowsInteraction()) manager.cancel();
    });
  }
}

EndRequests::~EndRequests() {
  if (notifier_ == nullptr) return;
  for (int signal : kEndSignals) std::signal(signal, SIG_DFL);
  ::close(signalPipe[0]);
  ::close(signalPipe[1]);
  signalPipe[0] = signalPipe[1] = -1;
}

void EndRequests::OnSignal() {
  char bytes[16];
  while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
  }
  close_();
}

}  // namespace cw
