// One running editor per user. The first instance listens on a local socket
// named after the user (a path in the runtime folder, $XDG_RUNTIME_DIR, or
// /tmp without one; the user id is part of the name) that only its owner
// may connect to; a later instance hands its execute string over and ends.
//
// A message is the string's UTF-8 bytes ended by a zero byte; the listener
// answers one byte once it has taken it, so the sender knows it arrived
// before it exits. Messages over kMaxMessageBytes are dropped.
//
// Claim() serialises concurrent starts with a lock file beside the socket:
// under the lock it tries the socket, and only when nobody answers does it
// remove what is left of a dead instance's socket and listen.
#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace app {

class SingleInstance {
 public:
  static constexpr qsizetype kMaxMessageBytes = 1 << 20;

  // The socket path of this user: RUNTIME/vividrome-UID.socket.
  static QString DefaultName();

  explicit SingleInstance(QString name = DefaultName());
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Role {
    First,    // listening now; messages go to the handler
    Second,   // another instance runs (and took the message, if one was given)
    Failed,   // neither: the socket could not be made, or the running
              // instance did not take the message (ErrorText() says which)
  };
  // Becomes the listening instance, or, when one already listens, delivers
  // `message` to it (nothing when empty; the connection alone is the test).
  Role Claim(const QString& message, int timeoutMs = 5000);

  // Sends `message` to a listening instance; false when none answered.
  bool Send(const QString& message, int timeoutMs = 5000) const;

  // Starts listening (removing a stale socket first); false on failure.
  bool Listen();
  // Called on the user-interface thread with each message received.
  void SetHandler(std::function<void(const QString&)> handler);

  QString Name() const;
  QString ErrorText() const;

 private:
  enum class Delivery { NoListener, Delivered, NotAnswered };
  Delivery Deliver(const QString& message, int timeoutMs) const;

  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace app
