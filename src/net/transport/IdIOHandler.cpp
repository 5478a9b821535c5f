// The I/O handler's defaults.
#include "net/transport/IdIOHandler.h"

#include "net/transport/IdException.h"

void TIdIOHandler::StartTls(const std::string&) { throw EIdIOHandlerPropInvalid(RSIOHandlerPropInvalid); }
