#include "platform/PulseConnection.h"

#include <type_traits>

namespace platform {

PropertyList MakePropertyList(std::initializer_list<std::pair<const char*, const char*>> pairs) {
  PropertyList list(pa_proplist_new(), &pa_proplist_free);
  for (const auto& [key, value] : pairs)
    pa_proplist_sets(list.get(), key, value);
  return list;
}

PulseConnection::PulseConnection(std::string server, std::chrono::milliseconds timeout)
    : Server(std::move(server)), Timeout(timeout), Loop(PulseLoop::Start()) {}

PulseConnection::~PulseConnection() {
  if (Loop == nullptr) return;
  Locked lock(Loop);
  Disconnect();
}

// With the lock held: waits until `done` holds or the time-out passes; returns `done()`.
bool PulseConnection::Wait(const std::function<bool()>& done) {
  struct Expiry {
    PulseLoop* Loop;
    bool Expired = false;
  } expiry{Loop.get()};
  pa_mainloop_api* api = Loop->Api();
  timeval when{};
  pa_timeval_add(pa_gettimeofday(&when),
                 static_cast<pa_usec_t>(Timeout.count()) * PA_USEC_PER_MSEC);
  pa_time_event* timer = api->time_new(
      api, &when,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* userdata) {
        auto* state = static_cast<Expiry*>(userdata);
        state->Expired = true;
        state->Loop->Signal();
      },
      &expiry);
  // What the caller asked of the server goes out now, not at the loop's next beat.
  Loop->Wake();
  while (!done() && !expiry.Expired)
    Loop->Wait();
  api->time_free(timer);
  return done();
}

// With the lock held: waits for an operation and lets it go; a late one is cancelled so that
// its callback never sees the caller's state.
bool PulseConnection::Finish(pa_operation* operation) {
  if (operation == nullptr) return false;
  const bool done = Wait([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
  if (!done) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  return done;
}

void PulseConnection::Disconnect() {
  if (Context == nullptr) return;
  pa_context_set_state_callback(Context, nullptr, nullptr);
  pa_context_set_subscribe_callback(Context, nullptr, nullptr);
  pa_context_disconnect(Context);
  pa_context_unref(Context);
  Context = nullptr;
}

// With the lock held: a ready connection, made afresh if there is none.
bool PulseConnection::Connected() {
  if (Loop == nullptr) return false;
  if (Context != nullptr && pa_context_get_state(Context) == PA_CONTEXT_READY) return true;
  Disconnect();
  // What the server, its mixers and its policy show of the program: telvarion.desktop's name,
  // id and icon.
  const PropertyList client = MakePropertyList({{PA_PROP_APPLICATION_NAME, "Telvarion"},
                                                {PA_PROP_APPLICATION_ID, "telvarion"},
                                                {PA_PROP_APPLICATION_ICON_NAME, "telvarion"}});
  Context = pa_context_new_with_proplist(Loop->Api(), nullptr, client.get());
  if (Context == nullptr) return false;
  ContextWasReady = false;
  pa_context_set_state_callback(Context, &PulseConnection::OnContextState, this);
  pa_context_set_subscribe_callback(Context, &PulseConnection::OnSubscription, this);
  if (pa_context_connect(Context, Server.empty() ? nullptr : Server.c_str(), PA_CONTEXT_NOAUTOSPAWN,
                         nullptr) < 0) {
    Disconnect();
    return false;
  }
  const bool ready = Wait([&] {
    const pa_context_state_t state = pa_context_get_state(Context);
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
  });
  if (!ready || pa_context_get_state(Context) != PA_CONTEXT_READY) {
    Disconnect();
    return false;
  }
  if (Watcher) Subscribe();
  return true;
}

void PulseConnection::Subscribe() {
  const auto mask = static_cast<pa_subscription_mask_t>(
      PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
  if (pa_operation* operation = pa_context_subscribe(Context, mask, nullptr, nullptr)) {
    pa_operation_unref(operation);
  }
}

void PulseConnection::PostDeviceChange() {
  if (Watcher) Watcher->Post(WindowMessage{MessageNumber::DeviceChange, {}});
}

void PulseConnection::OnContextState(pa_context* context, void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  const pa_context_state_t state = pa_context_get_state(context);
  if (state == PA_CONTEXT_READY) self->ContextWasReady = true;
  if (!PA_CONTEXT_IS_GOOD(state) && self->ContextWasReady) {
    // The server went away: its devices with it. Only a connection that was up counts: a
    // failed attempt (no server at all) changes nothing, and reporting it would make every
    // listing try again and report again, for ever.
    self->ContextWasReady = false;
    self->PostDeviceChange();
  }
  self->Loop->Signal();
}

void PulseConnection::OnSubscription(pa_context*, pa_subscription_event_type_t event, std::uint32_t,
                                     void* userdata) {
  auto* self = static_cast<PulseConnection*>(userdata);
  const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  // Sinks and sources change state all the time (idle, suspended); only their coming and
  // going, and the server's defaults, change what a person can choose.
  const bool devices =
      (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SOURCE) &&
      type != PA_SUBSCRIPTION_EVENT_CHANGE;
  if (devices || facility == PA_SUBSCRIPTION_EVENT_SERVER) self->PostDeviceChange();
}

namespace {

// One device of a listing, or its end.
template <typename Info>
void Collect(pa_context*, const Info* info, int eol, void* userdata) {
  auto* listing = static_cast<PulseConnection::Listing*>(userdata);
  if (eol != 0 || info == nullptr) {
    listing->Done = true;
    listing->Self->Loop->Signal();
    return;
  }
  // A monitor hears what a sink plays: not a microphone.
  if constexpr (std::is_same_v<Info, pa_source_info>) {
    if (info->monitor_of_sink != PA_INVALID_INDEX) return;
  }
  listing->Devices.push_back({info->name, info->description ? info->description : ""});
}

}  // namespace

std::vector<WaveDeviceInfo> PulseConnection::List(
    const std::function<pa_operation*(Listing&)>& start) {
  Listing listing{this, {}, false};
  if (!Connected()) return {};
  if (!Finish(start(listing)) || !listing.Done) return {};
  return listing.Devices;
}

std::vector<WaveDeviceInfo> PulseConnection::ListSinks() {
  return List([this](Listing& listing) {
    return pa_context_get_sink_info_list(Context, &Collect<pa_sink_info>, &listing);
  });
}

std::vector<WaveDeviceInfo> PulseConnection::ListSources() {
  return List([this](Listing& listing) {
    return pa_context_get_source_info_list(Context, &Collect<pa_source_info>, &listing);
  });
}

PulseConnection::Defaults PulseConnection::ServerDefaults() {
  Defaults defaults{this, {}, {}, false};
  if (!Connected()) return defaults;
  pa_operation* operation = pa_context_get_server_info(
      Context,
      [](pa_context*, const pa_server_info* info, void* userdata) {
        auto* state = static_cast<Defaults*>(userdata);
        if (info != nullptr) {
          if (info->default_sink_name) state->Sink = info->default_sink_name;
          if (info->default_source_name) state->Source = info->default_source_name;
        }
        state->Done = true;
        state->Self->Loop->Signal();
      },
      &defaults);
  if (!Finish(operation) || !defaults.Done) return Defaults{};
  return defaults;
}

}  // namespace platform
