// What handing a report to the user's mail program needs from the
// crash-report core, which sits above this unit: whether the loader lock is
// held (loading MAPI would then hang), and letting the main thread run while
// the mail program is busy if the core holds it paused. The core fills the
// hooks at start-up; unfilled, the lock counts as free and the main thread
// is left as it is.
#pragma once

namespace qor {

struct MailClientHooks {
  bool (*loader_lock_held)() = nullptr;
  // Lets the paused main thread run when the settings ask for it; true if
  // it did.
  bool (*release_main_thread)() = nullptr;
  // Pauses it again.
  void (*hold_main_thread)() = nullptr;
};

MailClientHooks& DeliveryMailClientHooks();

bool LoaderLockHeld();

// Lets the main thread run for the lifetime of the object, when the core
// says so, and pauses it again afterwards.
class MainThreadRelease {
 public:
  MainThreadRelease();
  MainThreadRelease(const MainThreadRelease&) = delete;
  MainThreadRelease& operator=(const MainThreadRelease&) = delete;
  ~MainThreadRelease();

 private:
  bool released_;
};

}  // namespace qor
