// Drives the SIP engine from a script, the way the window will, for the tests against real
// SIP servers. Usage: sip_driver [--local-port N] [--server-port N] SCRIPT
//
// Script lines: register <display> <domain> <user> <password> | unregister | invite <number>
// | cancel | media <address> <port> | expect <state> <ms> | expect-event <event> <ms>
// | expect-error <code> | run <ms>. Prints "state", "event", "send", "receive" and "error"
// lines as things happen ("remote-sdp" with the answer, on one line), "ok" at the end; exits 1 at
// the first unmet expectation.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "platform/EventLoopHandOff.h"
#include "platform/SilentAbort.h"
#include "sip/SipClient.h"

namespace {

using std::chrono::milliseconds;

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\r'));
}

class Driver final : public platform::MessageTarget {
 public:
  Driver(std::uint16_t localPort, std::uint16_t serverPort)
      : client_(platform::Window{&loop_, this}, sip::kSipHandOffMessage, localPort, serverPort) {
    client_.OnStateChange = [](sip::TSIPClient& c) {
      Print(std::string("state ") + sip::StateName(c.State));
    };
    client_.OnSend = [](sip::TSIPClient& c) { Print("send " + FirstLine(c.OutgoingBuffer)); };
    client_.OnReceive = [](sip::TSIPClient& c) { Print("receive " + FirstLine(c.HeaderBlock)); };
    client_.OnRegistered = [this](sip::TSIPClient&) { Count("OnRegistered"); };
    client_.OnCallAnswered = [this](sip::TSIPClient& c) {
      Count("OnCallAnswered");
      std::string sdp = c.RemoteSDP;  // one line, so that scripts can grep it
      for (char& ch : sdp) {
        if (ch == '\r' || ch == '\n') ch = '|';
      }
      Print("remote-sdp " + sdp);
    };
    client_.OnCallEnded = [this](sip::TSIPClient&) { Count("OnCallEnded"); };
    client_.OnSIPError = [this](sip::TSIPClient& c) {
      Count("OnSIPError");
      Print("error " + std::to_string(c.ErrorCode));
    };
  }

  void HandleWindowMessage(const platform::WindowMessage& message) override {
    if (message.Message == sip::kSipHandOffMessage) client_.Dispatch(message);
  }

  // Returns false, after printing why, when the line's expectation is not met.
  bool Execute(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command.empty() || command[0] == '#') return true;
    if (command == "register") {
      std::string display, domain, user, password;
      words >> display >> domain >> user >> password;
      platform::RunGuarded([&] { client_.Register(display, domain, user, password); });
    } else if (command == "unregister") {
      platform::RunGuarded([&] { client_.Unregister(); });
    } else if (command == "invite") {
      std::string number;
      words >> number;
      platform::RunGuarded([&] { client_.Invite(number); });
    } else if (command == "cancel") {
      platform::RunGuarded([&] { client_.Cancel(); });
    } else if (command == "media") {
      std::string address;
      unsigned port = 0;
      words >> address >> port;
      client_.SetMedia(address, static_cast<std::uint16_t>(port));
    } else if (command == "expect") {
      std::string state;
      long timeout = 0;
      words >> state >> timeout;
      if (!loop_.RunUntil([&] { return state == sip::StateName(client_.State); },
                          milliseconds(timeout))) {
        return Failed("expect " + state + " (state " + sip::StateName(client_.State) + ")");
      }
    } else if (command == "expect-event") {
      std::string event;
      long timeout = 0;
      words >> event >> timeout;
      const int wanted = ++expected_[event];
      if (!loop_.RunUntil([&] { return raised_[event] >= wanted; }, milliseconds(timeout))) {
        return Failed("expect-event " + event);
      }
    } else if (command == "expect-error") {
      int code = 0;
      words >> code;
      if (client_.ErrorCode != code) {
        return Failed("expect-error " + std::to_string(code) + " (error " +
                      std::to_string(client_.ErrorCode) + ")");
      }
    } else if (command == "run") {
      long duration = 0;
      words >> duration;
      loop_.RunFor(milliseconds(duration));
    } else {
      return Failed("unknown command: " + line);
    }
    return true;
  }

 private:
  static void Print(const std::string& line) {
    std::cout << line << std::endl;  // flushed, so a killed run still shows its story
  }

  static bool Failed(const std::string& what) {
    Print("FAIL " + what);
    return false;
  }

  void Count(const std::string& event) {
    ++raised_[event];
    Print("event " + event);
  }

  platform::EventLoopHandOff loop_;
  sip::TSIPClient client_;
  std::map<std::string, int> raised_;
  std::map<std::string, int> expected_;
};

}  // namespace

int main(int argc, char** argv) {
  std::uint16_t localPort = sip::kSipPort;
  std::uint16_t serverPort = sip::kSipPort;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--local-port" && i + 1 < argc) {
      localPort = static_cast<std::uint16_t>(std::atoi(argv[++i]));
    } else if (argument == "--server-port" && i + 1 < argc) {
      serverPort = static_cast<std::uint16_t>(std::atoi(argv[++i]));
    } else {
      scriptPath = argument;
    }
  }
  std::ifstream script(scriptPath);
  if (!script) {
    std::cerr << "usage: sip_driver [--local-port N] [--server-port N] SCRIPT\n";
    return 2;
  }
  Driver driver(localPort, serverPort);
  for (std::string line; std::getline(script, line);) {
    if (!driver.Execute(line)) return 1;
  }
  std::cout << "ok" << std::endl;
  return 0;
}
