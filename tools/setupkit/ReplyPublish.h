#pragma once
// Publishing the mirror reply for a built launcher, and reading one back: the vendor side of
// the verification, checked through the launcher's own judgement (TShareCode::ReplyMatches).
#include <string>

#include "base/SysUtils.h"

SETUPTQ_EXCEPTION(EPublishError, Exception);

/// The reply body for `fingerprint` under the launcher's key. Raises EPublishError, naming the
/// reason, when the launcher would not accept that body as its own fingerprint.
std::string BuildReplyFor(const std::string& fingerprint);

/// DIR/brenlow/<ProductCode><ProductVersion as "%1.1f" with a point>ins.htm, from the settings.
std::string ReplyFilePath(const std::string& dir);

struct TPublishedReply {
  std::string fingerprint;  // the launcher's
  std::string path;         // the file written
  std::string body;         // its content
};
/// Fingerprints the launcher and writes its reply file under dir, creating the folders.
/// Nothing is written when BuildReplyFor refuses.
TPublishedReply PublishReply(const std::string& launcher, const std::string& dir);

struct TDecodedReply {
  std::string serverCode;  // what the launcher decodes from the file
  bool matches = false;    // whether it accepts it for the given fingerprint
};
/// Judges a reply body as the launcher whose fingerprint is given would.
TDecodedReply JudgeReply(const std::string& body, const std::string& fingerprint);
/// Reads a reply file whole and judges it (JudgeReply).
TDecodedReply DecodeReplyFile(const std::string& path, const std::string& fingerprint);

/// Printable ASCII as is, every other byte (and the backslash) as \xNN, so that a damaged
/// reply shows what it holds.
std::string VisibleBytes(const std::string& text);
