// A private CUPS daemon for the tests (tests/print/cups_daemon.sh): its own
// folder and free port, a pass-through queue "vivid-raw" whose device is the
// file OutputFile(). Header-only, shared by the print and command-line tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "test_support.h"

namespace cups_test {

inline constexpr char kQueue[] = "vivid-raw";

inline std::string DaemonScript() {
  return (std::filesystem::path(VIVID_TEST_DATA).parent_path() / "print" / "cups_daemon.sh").string();
}

// A loopback port nobody listens on right now (0 when none could be found).
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

class PrivateCups {
 public:
  PrivateCups() = default;
  PrivateCups(const PrivateCups&) = delete;
  PrivateCups& operator=(const PrivateCups&) = delete;
  ~PrivateCups() { Stop(); }

  // Starts the daemon in `folder`/cups. "" on success, else what went wrong.
  // The queue's filter runs as user lp when the daemon runs as root, so the
  // folder is made passable for it.
  std::string Start(const std::filesystem::path& folder) {
    if (!std::filesystem::exists("/usr/sbin/cupsd"))
      return "/usr/sbin/cupsd is missing: install cups-daemon, cups-client and cups-core-drivers";
    std::filesystem::permissions(folder, std::filesystem::perms::others_exec | std::filesystem::perms::group_exec,
                                 std::filesystem::perm_options::add);
    daemonDir_ = (folder / "cups").string();
    // The daemon outlives the shell that starts it; as its subreaper this
    // process can reap it after the stop, so no zombie is left behind.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const int port = FreePort();
    if (port <= 0) return "no free port";
    const auto result = testing_support::RunCommand(testing_support::ShellQuote(DaemonScript()) + " start " +
                                                    testing_support::ShellQuote(daemonDir_) + " " +
                                                    std::to_string(port));
    started_ = true;
    if (result.exitCode != 0) return "cups_daemon.sh start failed: " + result.err;
    server_ = result.out.substr(0, result.out.find('\n'));
    return server_.empty() ? "cups_daemon.sh printed no server" : "";
  }

  void Stop() {
    if (!started_) return;
    started_ = false;
    testing_support::RunCommand(testing_support::ShellQuote(DaemonScript()) + " stop " +
                                testing_support::ShellQuote(daemonDir_));
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
  }

  // The value for CUPS_SERVER, and the same as a shell prefix.
  const std::string& Server() const { return server_; }
  std::string Env() const { return "CUPS_SERVER=" + testing_support::ShellQuote(server_) + " "; }
  std::string OutputFile() const { return daemonDir_ + "/out/job.prn"; }
  const std::string& Folder() const { return daemonDir_; }

  // Waits (at most 30 s) until the queue holds no job; false on time-out.
  bool WaitUntilQueueEmpty() const {
    for (int i = 0; i < 300; ++i) {
      const auto result = testing_support::RunCommand(Env() + "lpstat -o " + kQueue);
      if (result.exitCode == 0 && result.out.empty()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  std::string daemonDir_, server_;
  bool started_ = false;
};

}  // namespace cups_test
