// A host name looked up off the main thread. A name server that never answers must not freeze
// the window, and the system's resolver cannot be interrupted: the look-up runs on a thread of
// its own, which nobody waits for, and its result reaches the main thread as a message
// carrying a ResolvedName. An abandoned look-up's thread ends whenever the resolver gives up,
// touching nothing of its owner's: its result is never delivered.
// Threads: Start and Cancel on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>
#include <string>

#include "platform/HandOff.h"

namespace platform {

// Whether `host` needs the resolver: a name, not dotted text (nor nothing at all).
bool NeedsNameLookup(const std::string& host);

class NameLookup {
 public:
  NameLookup() = default;
  ~NameLookup();
  NameLookup(const NameLookup&) = delete;
  NameLookup& operator=(const NameLookup&) = delete;

  // Looks `host` up as ResolveAddress does and posts {message, ResolvedName} to `window`; a
  // look-up still under way is abandoned first.
  void Start(const Window& window, MessageNumber message, const std::string& host);
  // Abandons the look-up under way, if any: its result is never delivered.
  void Cancel();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace platform
