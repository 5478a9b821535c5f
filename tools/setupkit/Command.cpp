#include "Command.h"

#include <cstdio>

std::vector<CommandInfo>& Commands() {
  static std::vector<CommandInfo> commands;
  return commands;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "setupkit: %s\n", message.c_str());
  return 1;
}
