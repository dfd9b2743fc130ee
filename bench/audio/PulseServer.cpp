#include "PulseServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace bench {

namespace {

using namespace std::chrono_literals;

std::string Script(const std::string& folder) {
  const std::string telephone = " format=s16le rate=8000 channels=1 channel_map=mono";
  std::ostringstream script;
  script << "load-module module-native-protocol-unix auth-anonymous=1 socket=" << folder
         << "/native\n"
         << "load-module module-null-sink sink_name=speaker" << telephone
         << " sink_properties=device.description=Speaker\n"
         << "load-module module-null-sink sink_name=micfeed" << telephone
         << " sink_properties=device.description=Microphone-feed\n"
         << "load-module module-remap-source source_name=microphone master=micfeed.monitor"
         << telephone << " source_properties=device.description=Microphone\n"
         << "load-module module-null-sink sink_name=keeper" << telephone
         << " sink_properties=device.description=Keeper\n"
         << "load-module module-loopback source=speaker.monitor sink=keeper latency_msec=20\n"
         << "load-module module-loopback source=micfeed.monitor sink=keeper latency_msec=20\n"
         << "set-default-sink speaker\n"
         << "set-default-source microphone\n";
  return script.str();
}

bool Accepts(const std::string& socketPath) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

PulseServer::PulseServer() {
  const std::string folder = folder_.Path();
  for (const char* sub : {"/run", "/state", "/config"}) {
    std::filesystem::create_directories(folder + sub);
  }
  std::ofstream(folder + "/server.pa") << Script(folder);
  std::ofstream(folder + "/client.conf") << "autospawn = no\n";

  std::vector<std::string> arguments = {"pulseaudio",
                                        "-n",
                                        "-F",
                                        folder + "/server.pa",
                                        "--daemonize=no",
                                        "--exit-idle-time=-1",
                                        "--use-pid-file=no",
                                        "--disable-shm=yes",
                                        "--realtime=no",
                                        "--high-priority=no",
                                        "--log-target=stderr"};
  const char* path = std::getenv("PATH");
  std::vector<std::string> environment = {"HOME=" + folder,
                                          "XDG_RUNTIME_DIR=" + folder + "/run",
                                          "XDG_CONFIG_HOME=" + folder + "/config",
                                          "PULSE_RUNTIME_PATH=" + folder + "/run",
                                          "PULSE_STATE_PATH=" + folder + "/state",
                                          "PULSE_COOKIE=" + folder + "/cookie",
                                          "PULSE_CLIENTCONFIG=" + folder + "/client.conf",
                                          std::string("PATH=") + (path ? path : "/usr/bin:/bin")};
  std::vector<char*> argv;
  for (std::string& argument : arguments)
    argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& variable : environment)
    envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string log = folder + "/daemon.log";
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    failure_ = "pulseaudio cannot be started (is it installed?): " + std::string(strerror(spawned));
    return;
  }
  pid_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      failure_ = "pulseaudio ended at start";
      return;
    }
    if (Accepts(folder + "/native")) {
      WarmUp();
      return;
    }
    std::this_thread::sleep_for(5ms);
  }
  Stop();
  failure_ = "pulseaudio did not accept clients within 5 s";
}

void PulseServer::WarmUp() const {
  // A null sink renders its first block at its longest latency (2 s) before the loopbacks
  // bring it down: until then a new recorder of its monitor hears nothing. Wait for data.
  const std::string client = "PULSE_SERVER='" + Address() + "' PULSE_COOKIE='" + folder_.Path() +
                             "/cookie' PULSE_CLIENTCONFIG='" + folder_.Path() + "/client.conf' ";
  for (const char* monitor : {"speaker.monitor", "micfeed.monitor"}) {
    testsupport::RunCommand(client + "timeout 5 parec --raw --device=" + monitor +
                            " --format=s16le --rate=8000 --channels=1 --latency-msec=20"
                            " | head -c 320 >/dev/null");
  }
}

PulseServer::~PulseServer() {
  Stop();
}

std::string PulseServer::Log() const {
  std::ifstream in(folder_.Path() + "/daemon.log");
  std::stringstream text;
  text << in.rdbuf();
  return failure_ + "\n" + text.str();
}

void PulseServer::ExportClientEnvironment() const {
  setenv("PULSE_SERVER", Address().c_str(), 1);
  setenv("PULSE_COOKIE", (folder_.Path() + "/cookie").c_str(), 1);
  setenv("PULSE_CLIENTCONFIG", (folder_.Path() + "/client.conf").c_str(), 1);
  setenv("PULSE_RUNTIME_PATH", (folder_.Path() + "/run").c_str(), 1);
}

void PulseServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  pid_ = -1;
}

}  // namespace bench
