#pragma once

#include <mutex>

namespace lumo {

class Lockable {
public:
  virtual ~Lockable() = default;
  // Blocks until the calling thread holds the lock.
  virtual void lock() = 0;
  // Releases one level of the calling thread's hold.
  virtual void unlock() = 0;
};

// The in-process lock. Re-entrant, so a function holding it may call another
// that takes it again; each lock needs its unlock on the same thread.
class LocalMutex : public Lockable {
public:
  LocalMutex() = default;
  LocalMutex(const LocalMutex &) = delete;
  LocalMutex &operator=(const LocalMutex &) = delete;

  // A refusal by the standard library comes out as std::system_error.
  void lock() override { mutex.lock(); }
  void unlock() override { mutex.unlock(); }

private:
  std::recursive_mutex mutex;
};

// Holds a lock for the lifetime of a block, also when an exception passes.
// The lock must outlive the holder.
class AutoLock {
public:
  explicit AutoLock(Lockable *lockable) : lockable(lockable) { lockable->lock(); }
  AutoLock(const AutoLock &) = delete;
  AutoLock &operator=(const AutoLock &) = delete;
  virtual ~AutoLock() { lockable->unlock(); }

private:
  Lockable *lockable;
};

}  // namespace lumo
