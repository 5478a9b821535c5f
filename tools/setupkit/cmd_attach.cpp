// setupkit attach STUB INSTALLER [FILE...] -o OUT, or STUB --archive ARCHIVE -o OUT: a launcher
// carrying the payload, made from its stub without a compiler or resource compiler.
#include <cinttypes>
#include <cstdio>

#include "Attach.h"
#include "Command.h"
#include "ReplyPublish.h"
#include "codes/QORMD5Unit.h"

namespace {
int RunAttach(const std::vector<std::string>& args) {
  const TCommandLine cl(args, {{{"-o", "--output"}, true}, {{"--archive"}, true}, {{"--replace"}, false}});
  TAttachRequest request;
  request.output = cl.Value("-o");
  request.archive = cl.Value("--archive");
  request.replace = cl.Has("--replace");
  if (request.output.empty()) throw EUsageError("missing -o OUT, the launcher to write");
  if (request.archive.empty()) {
    cl.ExpectOperands(2, SIZE_MAX, "STUB and INSTALLER");
    request.installer = cl.Operands()[1];
    request.files.assign(cl.Operands().begin() + 2, cl.Operands().end());
  } else {
    cl.ExpectOperands(1, 1, "STUB alone with --archive");
  }
  request.stub = cl.Operands()[0];

  TProgressLine progress;
  TAttachSummary summary;
  try {
    summary = AttachPayload(request, [&progress](const std::string& text) { progress.Show(text); });
  } catch (const ELauncherError& e) {
    progress.Clear();
    return Fail(e);
  } catch (const ENameRefused& e) {  // a file name the payload cannot take
    progress.Clear();
    return Fail(e);
  }
  progress.Clear();
  std::int64_t total = 0;
  Print(stdout, "%s\n", request.output.c_str());
  for (const auto& e : summary.entries) {
    Print(stdout, "  %-24s %12" PRId32 " bytes, %12" PRId64 " packed\n", ShownName(e.name).c_str(), e.size, e.packed);
    total += e.size;
  }
  Print(stdout, "  %zu entries, %s packed into %s (%.0f%%); launcher %s\n  fingerprint %s\n", summary.entries.size(),
        SizeText(total).c_str(), SizeText(summary.archiveSize).c_str(),
        total > 0 ? 100.0 * static_cast<double>(summary.archiveSize) / static_cast<double>(total) : 100.0,
        SizeText(summary.outputSize).c_str(), GetFileMD5(ArgPath(request.output)).c_str());
  return 0;
}

const RegisterCommand reg{"attach", "STUB INSTALLER [FILE...] -o OUT [--replace] | STUB --archive ARCHIVE -o OUT",
                          "the launcher OUT: STUB (bin/stub/setupTQ.exe) carrying INSTALLER as the file it starts "
                          "(stored as instTQ.exe whatever its name) and the FILEs under their own names, or a "
                          "ready ARCHIVE; --replace: STUB may already carry a payload",
                          RunAttach};
}  // namespace
