// Wakes a thread that waits in ReceiveDatagram, so that receive threads can be stopped at once
// instead of being killed. Once signalled it stays signalled until Reset.
#pragma once

namespace platform {

class Waker {
 public:
  Waker();
  ~Waker();
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  void Signal() const;
  void Reset() const;
  int Descriptor() const { return fd_; }

 private:
  int fd_;
};

}  // namespace platform
