// TSignalWatcher: turns SIGINT, SIGTERM and SIGHUP into a callback in the Qt event loop. The signal
// handler only writes the signal number into a socket pair; a QSocketNotifier on the other
// end reads it and raises the callback, once per signal received. One watcher at a time;
// created and destroyed on the main thread, which restores the previous handlers.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace zq {

class TSignalWatcher : public QObject {
 public:
  using SignalEvent = std::function<void(int signalNumber)>;

  // Raises EInternalCheck when another watcher exists or the socket pair cannot be made.
  explicit TSignalWatcher(SignalEvent onSignal);

  // Blocks the watched signals in the calling thread and every thread it starts later, so
  // that one arriving before a watcher exists waits for it instead of ending the process. A
  // watcher unblocks them in the thread that makes it. Call first thing in main.
  static void HoldSignals();
  ~TSignalWatcher() override;
  TSignalWatcher(const TSignalWatcher&) = delete;
  TSignalWatcher& operator=(const TSignalWatcher&) = delete;

 private:
  void Drain();

  SignalEvent onSignal_;
  int fds_[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zq
