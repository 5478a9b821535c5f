#pragma once
// The exception base of the network code as the HTTP units see it.
#include "base/SysUtils.h"

SETUPTQ_EXCEPTION(EIdException, Exception);
