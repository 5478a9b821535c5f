// Threads and locks on Windows: CreateThread, slim reader/writer locks and events.
#include "platform/Platform.h"

#include <windows.h>

#include <memory>

namespace platform {
namespace {

DWORD WINAPI RunRoutine(void* routine) {
  std::unique_ptr<std::function<void()>> own(static_cast<std::function<void()>*>(routine));
  (*own)();
  return 0;
}

}  // namespace

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> routine) {
  if (running_) return false;
  auto* own = new std::function<void()>(std::move(routine));
  HANDLE h = CreateThread(nullptr, 0, RunRoutine, own, 0, nullptr);
  if (!h) {
    delete own;
    return false;
  }
  handle_ = reinterpret_cast<std::uintptr_t>(h);
  running_ = true;
  return true;
}

void Thread::Join() {
  if (!running_) return;
  WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), INFINITE);
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  running_ = false;
}

void Thread::Detach() {
  if (!running_) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  running_ = false;
}

struct Lock::Impl {
  SRWLOCK lock = SRWLOCK_INIT;
};

Lock::Lock() : impl_(new Impl) {}
Lock::~Lock() { delete impl_; }
void Lock::Acquire() { AcquireSRWLockExclusive(&impl_->lock); }
void Lock::Release() { ReleaseSRWLockExclusive(&impl_->lock); }
void Lock::AcquireShared() { AcquireSRWLockShared(&impl_->lock); }
void Lock::ReleaseShared() { ReleaseSRWLockShared(&impl_->lock); }

struct Event::Impl {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // manual reset: stays set
};

Event::Event() : impl_(new Impl) {}
Event::~Event() {
  CloseHandle(impl_->event);
  delete impl_;
}
void Event::Set() { SetEvent(impl_->event); }
bool Event::Wait(std::uint32_t ms) { return WaitForSingleObject(impl_->event, ms) == WAIT_OBJECT_0; }

}  // namespace platform
