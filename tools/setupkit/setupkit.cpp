// setupkit: the vendor's and developer's tool. Each command is a file of its own (Command.h).
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "Command.h"
#include "platform/Platform.h"

namespace {
int Usage(FILE* out) {
  Print(out, "usage: setupkit COMMAND [OPTIONS] [ARGS]\n\ncommands:\n");
  auto list = Commands();
  std::sort(list.begin(), list.end(),
            [](const CommandInfo& a, const CommandInfo& b) { return std::string(a.name) < b.name; });
  for (const auto& c : list) Print(out, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
  Print(out,
        "\n  setupkit --help, setupkit COMMAND -h|--help   this text, or one command's\n"
        "  setupkit --version                            the tool's version\n"
        "  --                                            ends the options (a file named \"-x\")\n"
        "\nexit codes:\n"
        "  0  done, or every check passed\n"
        "  1  a check says no: a mismatch, a mirror without the reply, a refused file, a failed release\n"
        "     check (with --json too: the JSON says which)\n"
        "  2  a usage error: an unknown option, a missing or extra argument\n"
        "  3  an I/O or input error: a missing file, not a PE image, a damaged archive\n");
  return out == stdout ? 0 : kExitUsage;
}

bool AsksForHelp(const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--") return false;
    if (a == "-h" || a == "--help") return true;
  }
  return false;
}
}  // namespace

int main() {
  // An interrupted run (Ctrl+C, a signal) leaves none of its temporaries behind.
  platform::InstallInterruptCleanup();
  // The arguments from the wide command line on Windows (UTF-8, as the file calls take paths),
  // so that any file name reaches the commands whatever the system's code page.
  std::vector<std::string> argv;
  for (int i = 1; i <= platform::ParamCount(); ++i) argv.push_back(platform::ParamStr(i).Native());
  if (argv.empty()) return Usage(stderr);
  const std::string name = argv[0];
  if (name == "--help" || name == "-h" || name == "help") return Usage(stdout);
  if (name == "--version") {
    Print(stdout, "setupkit %s\n", SETUPTQ_VERSION);
    return 0;
  }
  for (const auto& c : Commands()) {
    if (name != c.name) continue;
    const std::vector<std::string> args(argv.begin() + 1, argv.end());
    if (AsksForHelp(args)) {
      Print(stdout, "usage: setupkit %s %s\n  %s\n", c.name, c.usage, c.summary);
      return 0;
    }
    CurrentCommand = c.name;
    try {
      return c.run(args);
    } catch (const EUsageError& e) {
      Print(stderr, "setupkit %s: %s\nusage: setupkit %s %s (setupkit %s --help)\n", c.name, e.Message().c_str(),
            c.name, c.usage, c.name);
      return kExitUsage;
    } catch (const Exception& e) {
      Print(stderr, "setupkit %s: %s\n", c.name, ErrorText(e).c_str());
      return kExitInput;
    } catch (const std::exception& e) {
      Print(stderr, "setupkit %s: %s\n", c.name, e.what());
      return kExitInput;
    }
  }
  Print(stderr, "setupkit: unknown command '%s' (see setupkit --help)\n", name.c_str());
  return kExitUsage;
}
