#include "platform/PulseLoop.h"

#include <poll.h>

#include <algorithm>

#include "platform/ThreadName.h"

namespace platform {

std::unique_ptr<PulseLoop> PulseLoop::Start() {
  pa_mainloop* loop = pa_mainloop_new();
  if (loop == nullptr) return nullptr;
  return std::unique_ptr<PulseLoop>(new PulseLoop(loop));
}

PulseLoop::PulseLoop(pa_mainloop* loop) : loop_(loop) {
  pa_mainloop_set_poll_func(loop_, &PulseLoop::Poll, this);
  thread_ = std::thread(&PulseLoop::Run, this);
}

PulseLoop::~PulseLoop() {
  {
    std::lock_guard lock(lock_);
    pa_mainloop_quit(loop_, 0);  // wakes a poll
  }
  {
    std::lock_guard lock(beatLock_);
    stopping_ = true;
  }
  beatWake_.notify_all();
  thread_.join();
  pa_mainloop_free(loop_);
}

void PulseLoop::Wake() {
  {
    std::lock_guard lock(beatLock_);
    woken_ = true;
  }
  beatWake_.notify_all();
}

void PulseLoop::AfterRound(std::function<void()> job) {
  if (std::this_thread::get_id() == thread_.get_id()) {
    afterRound_.push_back(std::move(job));
  } else {
    job();
  }
}

void PulseLoop::Run() {
  NameThisThread("audio loop");
  std::lock_guard lock(lock_);
  int result = 0;
  pa_mainloop_run(loop_, &result);
}

// Called by libpulse on the loop's thread, with the lock held.
int PulseLoop::Poll(pollfd* descriptors, unsigned long count, int timeout, void* self) {
  auto* loop = static_cast<PulseLoop*>(self);
  const bool beat = loop->beat_;
  if (beat && loop->draining_) {
    // libpulse reads one piece of a message per round: all that came during the sleep is
    // taken, the lock kept, before anything else.
    if (const int ready = poll(descriptors, count, 0); ready != 0) return ready;
    loop->draining_ = false;
  }
  std::vector<std::function<void()>> jobs;
  jobs.swap(loop->afterRound_);
  loop->lock_.unlock();
  for (const auto& job : jobs)
    job();
  // (A time-out of 0 means work is waiting already, more to send: no sleep for that.)
  if (beat && timeout != 0) {
    loop->SleepToBeat(timeout);
    timeout = 0;
  }
  const int ready = poll(descriptors, count, timeout);
  loop->draining_ = beat && ready > 0;
  loop->lock_.lock();
  return ready;
}

void PulseLoop::SleepToBeat(int timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point now = Clock::now();
  if (nextBeat_ <= now) nextBeat_ = now + kBeat;
  Clock::time_point until = nextBeat_;
  if (timeout > 0) until = std::min(until, now + std::chrono::milliseconds(timeout));
  std::unique_lock lock(beatLock_);
  beatWake_.wait_until(lock, until, [this] { return woken_ || stopping_; });
  woken_ = false;
}

}  // namespace platform
