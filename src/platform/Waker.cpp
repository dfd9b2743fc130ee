#include "platform/Waker.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace platform {

Waker::Waker() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) throw std::bad_alloc();
}

Waker::~Waker() {
  close(fd_);
}

void Waker::Signal() const {
  const std::uint64_t one = 1;
  // A full counter already means "signalled": the result needs no check.
  [[maybe_unused]] ssize_t written = write(fd_, &one, sizeof one);
}

void Waker::Reset() const {
  std::uint64_t count = 0;
  [[maybe_unused]] ssize_t read_ = read(fd_, &count, sizeof count);
}

}  // namespace platform
