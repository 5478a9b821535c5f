// setupkit: the vendor's and developer's tool. Each command is one routine below.
#include <cstdio>
#include <cstring>
#include <string>

namespace {
int Usage(FILE* out) {
  std::fprintf(out,
               "usage: setupkit COMMAND [ARGS]\n"
               "  --help            this text\n");
  return out == stdout ? 0 : 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h") return Usage(stdout);
  std::fprintf(stderr, "setupkit: unknown command '%s'\n", cmd.c_str());
  return 2;
}
