#pragma once
// A thread's "while waiting" hook. A long wait of the calling thread (a name lookup, a connect,
// a read from the network) waits in slices of at most kWaitSliceMs and calls the hook between
// them, so that a window thread can go on answering the system while it waits. The code that
// waits knows nothing of what the hook does; a program with windows installs one on its window
// thread. Without a hook a wait is the one call it always was.
//
// The hook also says whether the wait is still wanted: once the user has closed the window the
// work belongs to, it returns false and the wait ends at once with EWaitAbandoned, which leaves
// the work (a request in flight) the way any failure does.
#include <functional>

#include "base/SysUtils.h"

/// Returns false when the wait it is called from is no longer wanted.
using TWhileWaitingHook = bool (*)();

/// A wait that its thread's hook gave up on (the user closed the window it worked for).
SETUPTQ_EXCEPTION(EWaitAbandoned, Exception);

/// The longest a wait goes without calling the hook.
constexpr int kWaitSliceMs = 100;

/// Installs `hook` for the calling thread (null removes it); returns the one it replaces.
TWhileWaitingHook SetWhileWaitingHook(TWhileWaitingHook hook);
/// True when the calling thread has a hook.
bool HasWhileWaitingHook();

/// Waits up to `timeoutMs` (negative: without limit) through `waitFor`, which waits up to the
/// milliseconds it is given and returns true when what it waits for has come. With a hook on
/// this thread: in slices of at most kWaitSliceMs by the clock, calling the hook between them;
/// the limit is kept as a whole, whatever the hook costs; raises EWaitAbandoned as soon as the
/// hook returns false. Without one: waitFor(timeoutMs) once, the value unchanged (a negative
/// one means no limit to waitFor too).
bool WaitInSlices(int timeoutMs, const std::function<bool(int ms)>& waitFor);

/// For work that keeps going without waiting (a stream whose data keeps coming): calls this
/// thread's hook when it last ran kWaitSliceMs ago or more, in a wait or here, so that the
/// window answers however the work goes. Raises EWaitAbandoned as WaitInSlices does; without
/// a hook it does nothing.
void AnswerWhileWorking();
