#include "ReplyPublish.h"

#include "Command.h"

#include <cstdio>

#include "Temporary.h"
#include "base/Classes.h"
#include "codes/QORMD5Unit.h"
#include "codes/ShareCodeCheckunit.h"
#include "platform/Platform.h"

namespace {

TShareCode KeyedRecord(const std::string& fingerprint) {
  TShareCode record;
  record.SetCodeKey();
  record.ExeMD5 = fingerprint;
  return record;
}

// Why a body fails, in the words a vendor can act on.
std::string RefusalReason(const std::string& scrambled) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  if (!scrambled.empty() && (blank(scrambled.front()) || blank(scrambled.back())))
    return "its scrambled code begins or ends with a blank or control byte, which the launcher trims away";
  for (char c : scrambled)
    if (c >= 'A' && c <= 'Z') return "its scrambled code holds an upper-case letter, which the launcher lower-cases";
  return "its scrambled code holds a sequence that the launcher's un-escaping changes";
}

}  // namespace

std::string BuildReplyFor(const std::string& fingerprint) {
  TShareCode record = KeyedRecord(fingerprint);
  std::string body = record.EncodeReply(fingerprint);
  if (!record.ReplyMatches(body))
    throw EPublishError("the launcher with fingerprint " + fingerprint + " would not accept its published reply: " +
                        RefusalReason(ScrambleText(fingerprint, record.CodeKey)) +
                        "; change the launcher (for example its version record) and publish again");
  return body;
}

std::string ReplyFilePath(const std::string& dir, const std::string& replyPath) {
  std::string base = dir;
  // Trailing delimiters off, character by character (a double-byte character may end in 0x5C).
  for (std::size_t cut; base.size() > 1 && (cut = LastDelimiter("/\\", base)) == base.size() - 1;) base.resize(cut);
  return base + "/" + replyPath;
}

TPublishedReply PublishReply(const std::string& launcher, const std::string& dir, const std::string& replyPath) {
  TPublishedReply out;
  out.fingerprint = GetFileMD5(ArgPath(launcher));
  out.body = BuildReplyFor(out.fingerprint);
  out.path = ReplyFilePath(dir, replyPath);
  const std::string folder = out.path.substr(0, LastDelimiter("/", out.path));
  // Taken away again when the reply cannot be written (a full disk).
  TNewFolders made;
  if (!made.Make(ArgPath(folder)))
    RaiseNative<EFCreateError>("cannot create the folder " + made.Failed().Native() + ": " +
                               platform::MessageNative(platform::SystemErrorText(made.Error())));
  // Whole or not at all: a mirror copying the web root never takes half a reply.
  TTemporary file(out.path);
  try {
    file.File().WriteBuffer(out.body.data(), static_cast<int>(out.body.size()));
  } catch (const EWriteError& e) {
    RaiseNative<EWriteError>("cannot write " + out.path + ": " + file.InTargetsWords(ErrorText(e)));
  }
  file.ReplaceTarget();
  made.Keep();
  return out;
}

TDecodedReply DecodeReplyFile(const std::string& path, const std::string& fingerprint) {
  TFileStream file(ArgPath(path), platform::FileAccess::Read, platform::FileShare::Read,
                   platform::FileCreate::OpenExisting);
  const std::int64_t size = file.Size();
  if (size > kMaxReplyFileSize) {
    char magic[4] = {};
    file.Read(magic, 4);
    RaiseNative<EPublishError>(path + " is not a reply file (" + std::to_string(size) + " bytes" +
                               ((magic[0] == 'M' && magic[1] == 'Z') || std::string(magic, 4) == "\x7f"
                                                                                                 "ELF"
                                    ? ", a program"
                                    : "") +
                               "; a reply is one short line): give the reply first, then the launcher");
  }
  std::string body(static_cast<std::size_t>(size), '\0');
  if (!body.empty()) file.ReadBuffer(&body[0], static_cast<int>(body.size()));
  return JudgeReply(body, fingerprint);
}

TDecodedReply JudgeReply(const std::string& body, const std::string& fingerprint) {
  TShareCode record = KeyedRecord(fingerprint);
  TDecodedReply out;
  out.isCode = record.IsMirrorAnswer(body);
  out.matches = record.ReplyMatches(body);
  out.serverCode = record.GetServerCode();
  return out;
}

std::string VisibleBytes(const std::string& text) { return EscapedBytes(text, false); }
