// Threads and locks on Linux: POSIX threads, reader/writer locks and a condition variable.
#include "platform/Platform.h"

#include <pthread.h>
#include <time.h>

#include <memory>

namespace platform {
namespace {

void* RunRoutine(void* routine) {
  std::unique_ptr<std::function<void()>> own(static_cast<std::function<void()>*>(routine));
  (*own)();
  return nullptr;
}

}  // namespace

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> routine) {
  if (running_) return false;
  auto* own = new std::function<void()>(std::move(routine));
  pthread_t t;
  if (pthread_create(&t, nullptr, RunRoutine, own) != 0) {
    delete own;
    return false;
  }
  handle_ = static_cast<std::uintptr_t>(t);
  running_ = true;
  return true;
}

void Thread::Join() {
  if (!running_) return;
  pthread_join(static_cast<pthread_t>(handle_), nullptr);
  running_ = false;
}

void Thread::Detach() {
  if (!running_) return;
  pthread_detach(static_cast<pthread_t>(handle_));
  running_ = false;
}

struct Lock::Impl {
  pthread_rwlock_t lock = PTHREAD_RWLOCK_INITIALIZER;
};

Lock::Lock() : impl_(new Impl) {}
Lock::~Lock() {
  pthread_rwlock_destroy(&impl_->lock);
  delete impl_;
}
void Lock::Acquire() { pthread_rwlock_wrlock(&impl_->lock); }
void Lock::Release() { pthread_rwlock_unlock(&impl_->lock); }
void Lock::AcquireShared() { pthread_rwlock_rdlock(&impl_->lock); }
void Lock::ReleaseShared() { pthread_rwlock_unlock(&impl_->lock); }

struct Event::Impl {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t cond;
  bool set = false;
  Impl() {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);  // waits are not moved by clock changes
    pthread_cond_init(&cond, &attr);
    pthread_condattr_destroy(&attr);
  }
  ~Impl() {
    pthread_cond_destroy(&cond);
    pthread_mutex_destroy(&mutex);
  }
};

Event::Event() : impl_(new Impl) {}
Event::~Event() { delete impl_; }

void Event::Set() {
  pthread_mutex_lock(&impl_->mutex);
  impl_->set = true;
  pthread_cond_broadcast(&impl_->cond);
  pthread_mutex_unlock(&impl_->mutex);
}

bool Event::Wait(std::uint32_t ms) {
  timespec until;
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += static_cast<time_t>(ms / 1000);
  until.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_sec += 1;
    until.tv_nsec -= 1000000000L;
  }
  pthread_mutex_lock(&impl_->mutex);
  while (!impl_->set && pthread_cond_timedwait(&impl_->cond, &impl_->mutex, &until) == 0) {
  }
  const bool set = impl_->set;
  pthread_mutex_unlock(&impl_->mutex);
  return set;
}

}  // namespace platform
