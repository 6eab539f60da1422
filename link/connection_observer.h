#pragma once
// What the edit layer hears of a connection's life, to keep the edits the processor never got and
// to make a recalled preset slot a step of the history.

namespace zelto {

/// Told of the moments of a connection that decide what becomes of edits the processor has not
/// received. Called on the owner's thread.
class ConnectionObserver {
 public:
  virtual ~ConnectionObserver() = default;
  /// The connection's read-back has arrived and is about to replace the objects' values.
  virtual void BeforeReadBackApplied() = 0;
  /// The read-back has replaced them; edits are tracked again.
  virtual void AfterReadBackApplied() = 0;
  /// The connection is about to close; the worker has stopped and the queue still holds what
  /// the processor has not answered.
  virtual void ConnectionClosing() = 0;
  /// A preset slot recalled into the live settings has arrived and is about to replace the
  /// objects' values; then it has replaced them.
  virtual void BeforeRecallApplied() = 0;
  virtual void AfterRecallApplied() = 0;
};

}  // namespace zelto
