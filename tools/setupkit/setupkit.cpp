// setupkit: the vendor's and developer's tool. Each command is a file of its own (Command.h).
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "Command.h"

namespace {
int Usage(FILE* out) {
  std::fprintf(out, "usage: setupkit COMMAND [ARGS]\n\ncommands:\n");
  auto list = Commands();
  std::sort(list.begin(), list.end(), [](const CommandInfo& a, const CommandInfo& b) {
    return std::string(a.name) < b.name;
  });
  for (const auto& c : list) std::fprintf(out, "  %s %s\n      %s\n", c.name, c.usage, c.summary);
  std::fprintf(out, "  --help\n      this text\n");
  return out == stdout ? 0 : 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") return Usage(stdout);
  for (const auto& c : Commands()) {
    if (name != c.name) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    if (std::find(args.begin(), args.end(), "--help") != args.end()) {
      std::printf("usage: setupkit %s %s\n  %s\n", c.name, c.usage, c.summary);
      return 0;
    }
    try {
      return c.run(args);
    } catch (const std::exception& e) {
      return Fail(e.what());
    }
  }
  std::fprintf(stderr, "setupkit: unknown command '%s' (see setupkit --help)\n", name.c_str());
  return 2;
}
