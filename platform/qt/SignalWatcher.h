// TSignalWatcher: turns SIGINT and SIGTERM into a callback in the Qt event loop. The signal
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
