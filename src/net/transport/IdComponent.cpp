#include "net/transport/IdComponent.h"

#include <algorithm>

#include "net/transport/IdException.h"
#include "net/transport/IdSharedStack.h"

const char* const IdStatusTexts[9] = {"Resolving hostname %s.",
                                      "Connecting to %s.",
                                      "Connected.",
                                      "Disconnecting.",
                                      "Disconnected.",
                                      "%s",
                                      "%s",
                                      "%s",
                                      "%s"};

TIdBaseComponent::~TIdBaseComponent() {
  // Tell every component that asked, and make them forget us.
  std::vector<TIdBaseComponent*> others;
  others.swap(freeNotifies_);
  for (TIdBaseComponent* other : others) {
    auto& list = other->freeNotifies_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    other->Notification(this, opRemove);
  }
}

void TIdBaseComponent::FreeNotification(TIdBaseComponent* other) {
  if (!other || other == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end()) {
    freeNotifies_.push_back(other);
    other->freeNotifies_.push_back(this);
  }
}

void TIdBaseComponent::RemoveFreeNotification(TIdBaseComponent* other) {
  if (!other) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), other), freeNotifies_.end());
  auto& list = other->freeNotifies_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void TIdBaseComponent::Notification(TIdBaseComponent*, TOperation) {}

TIdComponent::TIdComponent() { IdStackAddComponent(); }

TIdComponent::~TIdComponent() { IdStackRemoveComponent(); }

void TIdComponent::ReportStatus(TIdStatus status, const std::string& argument) {
  if (!OnStatus) return;
  OnStatus(this, status, IdFormat(IdStatusTexts[status], argument));
}

void TIdComponent::WorkBegin(TWorkMode mode, std::int64_t maximum) {
  WorkCounters& w = work_[mode];
  if (++w.level == 1) {
    w.maximum = maximum;
    w.position = 0;
    if (OnWorkBegin) OnWorkBegin(this, mode, maximum);
  }
}

void TIdComponent::WorkAdvance(TWorkMode mode, std::int64_t count) {
  WorkCounters& w = work_[mode];
  if (w.level < 1) return;
  w.position += count;
  if (OnWork) OnWork(this, mode, w.position);
}

void TIdComponent::WorkEnd(TWorkMode mode) {
  // The level drops before the event, so a raising handler cannot leave a span open;
  // an unmatched end does not drive the level below 0.
  WorkCounters& w = work_[mode];
  if (w.level == 0) return;
  if (--w.level == 0 && OnWorkEnd) OnWorkEnd(this, mode);
}
