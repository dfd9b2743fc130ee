// libpulse's main loop on a thread of our own, with the lock, wait and signal of libpulse's
// threaded loop and one thing more: a beat. While a call's capture runs, what the server sends
// (a piece of capture every few milliseconds, the playback's reports) waits in the connection
// until the capture's next block is due (BeatAt) and is then read all at once, rather than
// each piece as it comes: a thread's wake-up costs more than the little work each piece
// brings, on a virtual machine most of all. What we send (a playback block, a request whose
// answer someone waits for) goes out at once (Wake).
//
// Threads: the loop's thread holds the lock while libpulse dispatches (the callbacks run with
// it held) and lets go of it while it sleeps.
#pragma once

#include <pulse/mainloop.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class PulseLoop {
 public:
  // How long the loop sleeps, keeping the beat, when no block is due.
  static constexpr std::chrono::milliseconds kBeat{15};

  // Its thread running; nothing when libpulse could not make a loop.
  static std::unique_ptr<PulseLoop> Start();
  // Stops and joins the thread; the lock must not be held.
  ~PulseLoop();
  PulseLoop(const PulseLoop&) = delete;
  PulseLoop& operator=(const PulseLoop&) = delete;

  pa_mainloop_api* Api() const { return pa_mainloop_get_api(loop_); }
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }
  // With the lock held once: lets it go until Signal, then takes it again.
  void Wait() { signalled_.wait(lock_); }
  void Signal() { signalled_.notify_all(); }
  // Whether the loop keeps the beat; off, it wakes as soon as anything comes.
  void SetBeat(bool on) { beat_ = on; }
  // With the lock held, on the loop's thread (a callback): the next beat.
  void BeatAt(std::chrono::steady_clock::time_point when) { nextBeat_ = when; }
  // Ends the loop's sleep now: what was just given to the server goes out, what it sent is read.
  void Wake();
  // With the lock held: runs `job` on the loop's thread once it has let go of the lock after
  // this round of callbacks, at once when called from another thread. A capture notification
  // posted from a callback would otherwise wake its window's thread into the lock the loop
  // still holds, and put it to sleep again.
  void AfterRound(std::function<void()> job);

 private:
  explicit PulseLoop(pa_mainloop* loop);
  static int Poll(pollfd* descriptors, unsigned long count, int timeout, void* self);
  void Run();
  // Sleeps until the next beat (kBeat from now if none is set ahead), an earlier time-out of
  // libpulse's (milliseconds; negative: none), a Wake or the stop.
  void SleepToBeat(int timeout);

  pa_mainloop* loop_;
  std::recursive_mutex lock_;
  std::condition_variable_any signalled_;
  std::atomic<bool> beat_{false};
  std::mutex beatLock_;
  std::condition_variable beatWake_;
  bool woken_ = false;     // under beatLock_
  bool stopping_ = false;  // under beatLock_
  // The loop's thread only: the next beat, and whether the last poll found anything.
  std::chrono::steady_clock::time_point nextBeat_;
  bool draining_ = false;
  std::vector<std::function<void()>> afterRound_;  // under lock_
  std::thread thread_;
};

}  // namespace platform
