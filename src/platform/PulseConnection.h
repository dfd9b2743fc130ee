// The connection to a PulseAudio server (PipeWire's pulse server included) through libpulse,
// its messages handled on a PulseLoop's thread, shared by the wave backend's devices: reached
// lazily and again after the server went away, with every wait on it bounded; the device listings,
// the server's default devices, and the device changes it reports (MessageNumber::DeviceChange to
// the watching window). Threads: the owner's calls hold the main loop's lock (Locked); the
// callbacks run on the main loop's own thread with the lock held.
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/PulseLoop.h"
#include "platform/WaveDevice.h"

namespace platform {

using PropertyList = std::unique_ptr<pa_proplist, decltype(&pa_proplist_free)>;
// A property list (keys as libpulse's PA_PROP_ names) for a context or a stream.
PropertyList MakePropertyList(std::initializer_list<std::pair<const char*, const char*>> pairs);

struct PulseConnection {
  // `server` as PULSE_SERVER spells it (empty: the client's usual choice); `timeout` bounds
  // every wait on it.
  PulseConnection(std::string server, std::chrono::milliseconds timeout);
  ~PulseConnection();
  PulseConnection(const PulseConnection&) = delete;
  PulseConnection& operator=(const PulseConnection&) = delete;

  // Holds the main loop's lock for a scope.
  struct Locked {
    explicit Locked(const std::unique_ptr<PulseLoop>& loop) : loop_(loop.get()) {
      if (loop_ != nullptr) loop_->Lock();
    }
    ~Locked() {
      if (loop_ != nullptr) loop_->Unlock();
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

   private:
    PulseLoop* loop_;
  };

  struct Listing {
    PulseConnection* Self = nullptr;
    std::vector<WaveDeviceInfo> Devices;
    bool Done = false;
  };

  struct Defaults {
    PulseConnection* Self = nullptr;
    std::string Sink;
    std::string Source;
    bool Done = false;
  };

  // With the lock held: waits until `done` holds or the time-out passes; returns `done()`.
  bool Wait(const std::function<bool()>& done);
  // With the lock held: waits for an operation and lets it go; a late one is cancelled so that
  // its callback never sees the caller's state.
  bool Finish(pa_operation* operation);
  void Disconnect();
  // With the lock held: a ready connection, made afresh if there is none.
  bool Connected();
  void Subscribe();
  void PostDeviceChange();
  static void OnContextState(pa_context* context, void* userdata);
  static void OnSubscription(pa_context*, pa_subscription_event_type_t event, std::uint32_t,
                             void* userdata);
  // The sinks, and the sources that are not monitors, in the server's order.
  std::vector<WaveDeviceInfo> ListSinks();
  std::vector<WaveDeviceInfo> ListSources();
  // A listing `start` asks for, once the server has sent all of it.
  std::vector<WaveDeviceInfo> List(const std::function<pa_operation*(Listing&)>& start);
  Defaults ServerDefaults();

  std::string Server;
  std::chrono::milliseconds Timeout;
  std::unique_ptr<PulseLoop> Loop;
  pa_context* Context = nullptr;
  // Set once the current context has been ready; guarded by the main loop's lock.
  bool ContextWasReady = false;
  std::optional<Window> Watcher;
};

}  // namespace platform
