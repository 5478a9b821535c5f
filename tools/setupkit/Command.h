#pragma once
// setupkit's commands: each lives in its own file and registers itself with one line,
//   static const RegisterCommand reg{"pack", "OUT FILE...", "pack files into a payload archive", RunPack};
// A command returns the process exit code; it reports failures itself as one line on stderr
// ("setupkit: ...") and returns non-zero. args excludes the program and the command name.
#include <string>
#include <vector>

using CommandFn = int (*)(const std::vector<std::string>& args);

struct CommandInfo {
  const char* name;
  const char* usage;
  const char* summary;
  CommandFn run;
};

std::vector<CommandInfo>& Commands();

struct RegisterCommand {
  RegisterCommand(const char* name, const char* usage, const char* summary, CommandFn run) {
    Commands().push_back({name, usage, summary, run});
  }
};

/// Prints "setupkit: <message>" on stderr and returns 1.
int Fail(const std::string& message);
