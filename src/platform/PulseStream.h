// One stream of the audio server as a wave device drives it: how it asks for its buffers, the
// callbacks by which the server reports, and what they do with the call's blocks.
//
// Playback asks for a target of three 30 ms blocks and starts with the first; a block is done
// once the server holds it within that target, or, written beyond it, once the server has taken
// it in; a stream that starves restarts with 15 ms of silence ahead. Capture asks for 480-byte
// fragments, cut into the call's blocks by a CaptureQueue whose notices are posted once the
// loop has let go of its lock; while a capture runs, the loop's next beat is when its next block
// is due. Threads: every member is used with the loop's lock held; the callbacks run on the
// loop's thread, which holds it.
#pragma once

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <utility>

#include "platform/PulseLoop.h"
#include "platform/WaveDevice.h"

namespace platform {

struct PulseStream {
  PulseStream(PulseLoop& loop, bool playback) : Loop(loop), Playback(playback) {}
  // Disconnected: its callbacks never run again.
  ~PulseStream() { Release(); }
  PulseStream(const PulseStream&) = delete;
  PulseStream& operator=(const PulseStream&) = delete;

  // Creates the stream with the call's properties and connects it to `device` (none: the
  // server's default); false when the server refused at once. Whether it became ready is the
  // caller's to wait for.
  bool Connect(pa_context* context, const char* device);
  // The stream is connected and working.
  bool Ready() const;
  // Capture: the notices of its filled blocks go through `window`, as the device `handle`.
  void TakeCapture(WaveHandle handle, const Window& window);

  // Playback: queues the block (the lead ahead when the stream starves).
  int Write(WaveHeader& header);
  // Playback: what the server still holds is dropped and every queued block handed back.
  void Flush();

  PulseLoop& Loop;
  const bool Playback;
  pa_stream* Handle = nullptr;
  bool Failed = false;
  // Playback: the queued headers with the stream position at which each ends.
  std::deque<std::pair<WaveHeader*, std::uint64_t>> Written;
  std::uint64_t WrittenBytes = 0;
  // Playback: nothing is left to play; the next block starts the stream again.
  bool Starving = true;
  // Capture: the blocks queued, filled only between InStart and InReset. With no block
  // queued, or before InStart, the audio is lost.
  std::optional<CaptureQueue> Capture;
  bool Started = false;

 private:
  void Release();
  static void OnStreamState(pa_stream* handle, void* userdata);
  static void OnWritable(pa_stream* handle, std::size_t, void* userdata);
  static void OnUnderflow(pa_stream*, void* userdata);
  static void OnReadable(pa_stream* handle, std::size_t, void* userdata);
  // Every queued block is done: nothing will take them any more.
  void HandBackWritten();
  // The silence that (re)starts a starving playback stream, then the block; what the server
  // still asked for before the block (the target's free room), nothing when a write failed.
  std::optional<std::size_t> WriteBlock(const WaveHeader& header);

  std::unique_ptr<HandOff> notices_;
};

}  // namespace platform
