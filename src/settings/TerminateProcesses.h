#pragma once
// Ending running copies of the installer before it is written again.
#include <string>

/// Terminates every running process whose image name is `imageName` (ASCII letters compared
/// without regard to case; the file-name part of the snapshot's name, or the whole of it).
/// The calling process itself is never terminated. Returns the result of the last
/// termination attempt (nonzero on success), 0 when nothing matched. Never raises.
int TerminateProcessesByName(const std::string& imageName);
