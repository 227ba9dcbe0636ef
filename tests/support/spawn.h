// File: tests/support/spawn.h - starts a helper program for a test, with its standard output on a
// pipe the test reads line by line.
#pragma once

#include <string>
#include <vector>

namespace recaster::test {

// A started helper program. The destructor waits for it, so no child outlives its test.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` with `args`; false (and why in `error`) when it could not be started.
  bool Start(const std::string& program, const std::vector<std::string>& args, std::string* error);
  // The next line of the child's output without its line feed; false at the end of its output.
  bool ReadLine(std::string* line);
  // Waits for the child to end; its exit code, or -1 when it was not started or ended abnormally.
  int Wait();
#ifndef _WIN32
  // Sends the child a signal; false when it is not running.
  bool Signal(int signal_number);
  // The signal that ended the child, once Wait has seen it end by one; 0 otherwise.
  int EndingSignal() const { return ending_signal_; }
#endif

 private:
  bool started_ = false;
  bool waited_ = false;
  int exit_code_ = -1;
  std::string pending_;  // output read past the last line handed out
#ifdef _WIN32
  void* process_ = nullptr;  // HANDLE
  void* output_ = nullptr;   // HANDLE, read end of the pipe
#else
  int pid_ = -1;
  int output_ = -1;  // read end of the pipe
  int ending_signal_ = 0;
#endif
};

}  // namespace recaster::test
