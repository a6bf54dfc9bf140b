#pragma once

#include <functional>
#include <string>

namespace horavex {

// How work that ran in a child process of its own ended.
struct IsolatedOutcome {
  enum class Kind {
    kDone,      // the work returned; message is the text it returned
    kFailed,    // the work threw; message is what() of the exception
    kTimedOut,  // the time limit passed; the child was killed
    kCrashed,   // the child ended otherwise (a signal, an exit of its own)
  };
  Kind kind = Kind::kDone;
  std::string message;
};

// Runs work in a forked child process and waits at most limitSeconds for it, then kills it:
// for work on untrusted input that may loop for ever or crash (a damaged file in a library
// without bounds). The child shares nothing with the caller afterwards: it gives back a short
// text (up to 4 KiB), anything more it leaves in a file. Its standard output and error are
// discarded. The child ends without running exit handlers or destructors.
IsolatedOutcome RunIsolated(const std::function<std::string()>& work, int limitSeconds);

}  // namespace horavex
