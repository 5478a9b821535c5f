#pragma once
// The process's one socket stack: created with the first network component, destroyed with
// the last, under one lock, so components may come and go on any thread. The socket library
// it starts is cleaned up once, at the program's end.
#include "platform/Platform.h"

#include "net/transport/IdStack.h"

/// The process's one stack while any network component lives, else null.
extern TIdStack* GStack;
/// Guards GStack and the component count.
platform::Lock& StackLock();
/// Called by every network component's constructor and destructor. The first one creates
/// the stack and fails with its exception (the component is then not counted).
void IdStackAddComponent();
void IdStackRemoveComponent();
int IdStackComponentCount();
