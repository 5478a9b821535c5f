#pragma once
// Publishing the mirror reply for a built launcher, and reading one back: the vendor side of
// the verification, checked through the launcher's own judgement (TShareCode::ReplyMatches).
#include <cstdint>
#include <string>

#include "base/SysUtils.h"

SETUPTQ_EXCEPTION(EPublishError, Exception);

/// The reply body for `fingerprint` under the launcher's key. Raises EPublishError, naming the
/// reason, when the launcher would not accept that body as its own fingerprint.
std::string BuildReplyFor(const std::string& fingerprint);

/// DIR/REPLYPATH: where the reply for the path a launcher asks for ("brenlow/QORTQ3.6ins.htm",
/// from its settings) goes under a web root.
std::string ReplyFilePath(const std::string& dir, const std::string& replyPath);

struct TPublishedReply {
  std::string fingerprint;  // the launcher's
  std::string path;         // the file written
  std::string body;         // its content
};
/// Fingerprints the launcher and writes its reply file (ReplyFilePath) under dir, creating the
/// folders. Nothing is written when BuildReplyFor refuses.
TPublishedReply PublishReply(const std::string& launcher, const std::string& dir, const std::string& replyPath);

struct TDecodedReply {
  std::string serverCode;  // what the launcher decodes from the file
  bool matches = false;    // whether it accepts it for the given fingerprint
  bool isCode = false;     // whether it takes it for a code at all (else: no answer)
};
/// Judges a reply body as the launcher whose fingerprint is given would.
TDecodedReply JudgeReply(const std::string& body, const std::string& fingerprint);
/// A reply file is a line of escaped code a few dozen bytes long; anything this large is not one.
constexpr std::int64_t kMaxReplyFileSize = 4096;

/// Reads a reply file whole and judges it (JudgeReply). Raises EPublishError, saying what the
/// file looks like instead, for a file that cannot be a reply (larger than kMaxReplyFileSize: a
/// program, say, when the arguments were swapped).
TDecodedReply DecodeReplyFile(const std::string& path, const std::string& fingerprint);

/// Printable ASCII as is, every other byte (and the backslash) as \xNN, so that a damaged
/// reply shows what it holds.
std::string VisibleBytes(const std::string& text);
