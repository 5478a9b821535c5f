#pragma once
// Network components: the shared-stack reference count, free notification between
// components, status reports and the work progress events.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted
};
/// The status texts, indexed by TIdStatus.
extern const char* const IdStatusTexts[9];

enum TWorkMode { wmRead = 0, wmWrite = 1 };

enum TOperation { opInsert, opRemove };

class TIdComponent;
using TIdStatusEvent = std::function<void(TIdComponent* sender, TIdStatus status, const std::string& text)>;
using TWorkBeginEvent = std::function<void(TIdComponent* sender, TWorkMode mode, std::int64_t maximum)>;
using TWorkEvent = std::function<void(TIdComponent* sender, TWorkMode mode, std::int64_t count)>;
using TWorkEndEvent = std::function<void(TIdComponent* sender, TWorkMode mode)>;
using TIdNotifyEvent = std::function<void(TIdComponent* sender)>;

/// A component that can ask to be told when another one is destroyed.
class TIdBaseComponent {
 public:
  TIdBaseComponent() = default;
  virtual ~TIdBaseComponent();
  TIdBaseComponent(const TIdBaseComponent&) = delete;
  TIdBaseComponent& operator=(const TIdBaseComponent&) = delete;

  /// Asks `other` to call Notification(other, opRemove) on this component when it is
  /// destroyed (and the reverse).
  void FreeNotification(TIdBaseComponent* other);
  void RemoveFreeNotification(TIdBaseComponent* other);

  std::string Name;

 protected:
  virtual void Notification(TIdBaseComponent* component, TOperation operation);

 private:
  std::vector<TIdBaseComponent*> freeNotifies_;
};

class TIdComponent : public TIdBaseComponent {
 public:
  /// Takes part in the count that keeps the shared stack alive; the first component creates
  /// the stack (and may fail with its exception).
  TIdComponent();
  ~TIdComponent() override;

  /// Formats the status text with `argument` (only when OnStatus is set) and reports it.
  void ReportStatus(TIdStatus status, const std::string& argument = std::string());

  /// Opens a span of work; only the outermost begin reports.
  virtual void WorkBegin(TWorkMode mode, std::int64_t maximum = 0);
  /// Counts bytes of an open span and reports the running total.
  virtual void WorkAdvance(TWorkMode mode, std::int64_t count);
  /// Closes a span; only the outermost end reports.
  virtual void WorkEnd(TWorkMode mode);

  std::int64_t WorkPosition(TWorkMode mode) const { return work_[mode].position; }
  std::int64_t WorkMaximum(TWorkMode mode) const { return work_[mode].maximum; }
  int WorkLevel(TWorkMode mode) const { return work_[mode].level; }

  TIdStatusEvent OnStatus;
  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

 private:
  struct WorkCounters {
    std::int64_t position = 0;
    std::int64_t maximum = 0;
    int level = 0;
  };
  WorkCounters work_[2];
};
