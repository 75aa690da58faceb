#include "crash/delivery/mail_client_hooks.h"

namespace qor {

MailClientHooks& DeliveryMailClientHooks() {
  static MailClientHooks hooks;
  return hooks;
}

bool LoaderLockHeld() {
  const auto held = DeliveryMailClientHooks().loader_lock_held;
  return held != nullptr && held();
}

MainThreadRelease::MainThreadRelease() {
  const auto release = DeliveryMailClientHooks().release_main_thread;
  released_ = release != nullptr && release();
}

MainThreadRelease::~MainThreadRelease() {
  const auto hold = DeliveryMailClientHooks().hold_main_thread;
  if (released_ && hold != nullptr) hold();
}

}  // namespace qor
