// A private PulseAudio daemon for one test run: its own folder (runtime, state, cookie, socket),
// no D-Bus, speaker and microphone as 8000 Hz mono s16le null sinks, stopped by its PID.
//
//   sink "speaker"        the playback device (default sink)
//   sink "micfeed"        what is played into it is what the microphone hears
//   source "microphone"   a remap of micfeed.monitor (default source)
//   sink "keeper"         receives 20 ms loopbacks of both monitors, so that the null sinks
//                         render in small blocks and a new recorder gets data at once
#pragma once

#include <sys/types.h>

#include <string>

#include "support/Command.h"

namespace bench {

class PulseServer {
 public:
  // Starts the daemon and waits (at most 5 s) until it accepts clients, then until both
  // monitors deliver data (at most 5 s each).
  PulseServer();
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool Running() const { return pid_ > 0; }
  // Why it is not running, and what the daemon said.
  std::string Log() const;
  // As PULSE_SERVER spells it.
  std::string Address() const { return "unix:" + folder_.Path() + "/native"; }
  // Points the clients of this process, and the commands it runs, at this daemon.
  void ExportClientEnvironment() const;
  // SIGTERM, then SIGKILL after 3 s; waits for the process. Safe to call twice.
  void Stop();

 private:
  void WarmUp() const;

  testsupport::TemporaryDirectory folder_;
  pid_t pid_ = -1;
  std::string failure_;
};

}  // namespace bench
