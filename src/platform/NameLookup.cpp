#include "platform/NameLookup.h"

#include <arpa/inet.h>

#include <mutex>
#include <thread>

#include "platform/Address.h"
#include "platform/ThreadName.h"

namespace platform {

// What the look-up's thread shares with its owner: whether it still wants the result.
struct NameLookup::Shared {
  std::mutex Mutex;
  std::stop_source Abandon;
};

bool NeedsNameLookup(const std::string& host) {
  return !host.empty() && inet_addr(host.c_str()) == kNoAddress;
}

NameLookup::~NameLookup() {
  Cancel();
}

void NameLookup::Start(const Window& window, MessageNumber message, const std::string& host) {
  Cancel();
  shared_ = std::make_shared<Shared>();
  std::thread([shared = shared_, window, message, host] {
    NameThisThread("name lookup");
    const std::uint32_t address = ResolveAddress(host);
    // Under the lock, so that once Cancel has returned nothing is posted any more: the window
    // may be going away with its owner.
    std::lock_guard lock(shared->Mutex);
    if (shared->Abandon.stop_requested()) return;
    window.Post(WindowMessage{message, ResolvedName{host, address}}, shared->Abandon.get_token());
  }).detach();
}

void NameLookup::Cancel() {
  if (!shared_) return;
  {
    std::lock_guard lock(shared_->Mutex);
    // Also withdraws a result already posted but not yet delivered.
    shared_->Abandon.request_stop();
  }
  shared_.reset();
}

}  // namespace platform
