#pragma once
// Ending running copies of the installer before it is written again.
#include "platform/Text.h"

/// Terminates every running process whose image name is `imageName`, a text of the program
/// converted to the snapshot's form of a path (ASCII letters compared
/// without regard to case; the file-name part of the snapshot's name, or the whole of it).
/// The calling process itself is never terminated. Returns the result of the last
/// termination attempt (nonzero on success), 0 when nothing matched. Never raises.
int TerminateProcessesByName(const TText& imageName);
