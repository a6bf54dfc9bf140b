#include "platform/Isolated.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>

#include "platform/FileSystem.h"

namespace horavex {
namespace {

constexpr size_t kMaxMessage = 4096;

[[noreturn]] void RunChild(const std::function<std::string()>& work, int out) {
  int status = 0;
  try {
    std::string text = work();
    WriteAll(out, text.data(), std::min(text.size(), kMaxMessage));
  } catch (const std::exception& e) {
    std::string what = e.what();
    WriteAll(out, what.data(), std::min(what.size(), kMaxMessage));
    status = 1;
  } catch (...) {
    status = 1;
  }
  _exit(status);
}

// Reads the child's message until it closes its end (it ended) or the deadline passes; false
// when the deadline passed first.
bool ReadUntilClosed(int in, std::chrono::steady_clock::time_point deadline, std::string& text) {
  char buffer[512];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{in, POLLIN, 0};
    int ready = ::poll(&p, 1, int(std::min<long long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) return true;
    if (ready <= 0) continue;
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    if (text.size() < kMaxMessage) text.append(buffer, size_t(n));
  }
}

int WaitFor(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

}  // namespace

IsolatedOutcome RunIsolated(const std::function<std::string()>& work, int limitSeconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return {IsolatedOutcome::Kind::kCrashed, "no pipe for a child process"};
  }
  pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    return {IsolatedOutcome::Kind::kCrashed, "no child process could be started"};
  }
  if (child == 0) {
    ::close(pipeEnds[0]);
    // Libraries fed a damaged file print without end; what counts comes through the pipe.
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
    RunChild(work, pipeEnds[1]);
  }
  ::close(pipeEnds[1]);
  std::string message;
  bool ended = ReadUntilClosed(pipeEnds[0], deadline, message);
  ::close(pipeEnds[0]);
  if (!ended) {
    ::kill(child, SIGKILL);
    WaitFor(child);
    return {IsolatedOutcome::Kind::kTimedOut,
            "did not end within " + std::to_string(limitSeconds) + " s"};
  }
  int status = WaitFor(child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    return {IsolatedOutcome::Kind::kDone, message};
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 1 && !message.empty()) {
    return {IsolatedOutcome::Kind::kFailed, message};
  }
  if (WIFSIGNALED(status)) {
    return {IsolatedOutcome::Kind::kCrashed,
            "ended with signal " + std::to_string(WTERMSIG(status))};
  }
  return {IsolatedOutcome::Kind::kCrashed,
          "ended with status " + std::to_string(WEXITSTATUS(status))};
}

}  // namespace horavex
