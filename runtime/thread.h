// Thread objects: a thread of the process that runs an object's Execute
// (Windows only). A class derives from TThread, overrides Execute, and
// calls Start once it is fully constructed. Its destructor ends the thread
// (Terminate, then WaitFor) before anything of the derived class goes: by
// the time TThread's own destructor runs, the derived part, Execute
// included, no longer exists for a thread that is still starting.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>

namespace runtime {

class TThread;

// Runs a thread object's Execute on its thread. The crash-report core fills
// it at start-up, so that an exception escaping Execute is reported; while
// it is null, Execute runs plain and what escapes is kept as the object's
// FatalException.
extern void (*execute_wrapper)(TThread& thread);

class TThread {
 public:
  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // Asks the thread to end (Terminate) and waits until it has: the last
  // resort for a thread whose derived class ended it already.
  virtual ~TThread();

  // Creates the thread, which starts running Execute at once; false when
  // the system could not create it or the thread was already started.
  bool Start();

  // Sets Terminated; Execute decides when to look at it.
  void Terminate() { terminated_ = true; }

  // Waits until Execute has returned; at once when the thread never started.
  void WaitFor();

  uint32_t ThreadID() const { return thread_id_; }
  void* Handle() const { return handle_; }

  // The code address right after the call of Start: where the thread was
  // created from.
  uint32_t CreatorAddress() const { return creator_address_; }

  // The exception that escaped Execute while no wrapper was installed.
  std::exception_ptr FatalException() const { return fatal_exception_; }

  // Calls Execute; what the execution wrapper runs.
  void RunExecute() { Execute(); }

  // The routine the system starts for every thread object, with the object
  // as its parameter.
  static unsigned long __stdcall ThreadRoutine(void* object);

 protected:
  virtual void Execute() = 0;
  bool Terminated() const { return terminated_; }

 private:
  void* handle_ = nullptr;
  uint32_t thread_id_ = 0;
  uint32_t creator_address_ = 0;
  std::atomic<bool> terminated_{false};
  std::exception_ptr fatal_exception_;
};

}  // namespace runtime
