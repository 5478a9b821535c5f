// setupkit attach STUB FILE... -o OUT, or STUB --archive ARCHIVE -o OUT: a launcher carrying
// the payload, made from a prebuilt one without a compiler or resource compiler.
#include "Attach.h"
#include "Command.h"

namespace {
int RunAttach(const std::vector<std::string>& args) {
  const char* usage = "attach: usage: setupkit attach STUB.exe (FILE... | --archive ARCHIVE) -o OUT.exe";
  TAttachRequest request;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" || args[i] == "--archive") {
      std::string& value = args[i] == "-o" ? request.output : request.archive;
      if (i + 1 == args.size() || !value.empty()) return Fail(usage);
      value = args[++i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.empty() || request.output.empty() || (positional.size() > 1) == !request.archive.empty())
    return Fail(usage);
  request.stub = positional[0];
  request.files.assign(positional.begin() + 1, positional.end());
  try {
    AttachPayload(request);
  } catch (const std::exception& e) {
    return Fail("attach: " + std::string(e.what()));
  }
  return 0;
}

const RegisterCommand reg{"attach", "STUB.exe (FILE... | --archive ARCHIVE) -o OUT.exe",
                          "put a payload archive (FILEs packed as pack does, or a ready one) into a prebuilt "
                          "launcher as its DAT/BRENLOW resource",
                          RunAttach};
}  // namespace
