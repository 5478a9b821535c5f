#pragma once
// The verification code record: the program's own fingerprint, the reply key and the code
// decoded from the last mirror reply, with the decoder and the verdict.
#include <memory>
#include <string>

#include "platform/Text.h"

#include "codes/fenrpt.h"

class TShareCode {
 public:
  TScrambleKey CodeKey;    // zero until SetCodeKey
  std::string ServerCode;  // the last DecodeReply result
  std::string ExeMD5;      // the program's fingerprint; empty until LoadExeMD5

  /// Multiplier 0x0011, increment 0x002E, seed 0x0052.
  void SetCodeKey();
  /// Fingerprints the running program's own file (LoadExeMD5From of the module file name).
  void LoadExeMD5();
  /// Fingerprints `path`, lower-cases and trims the text and stores it in ExeMD5. Errors
  /// propagate and leave ExeMD5 as it was.
  void LoadExeMD5From(const TPath& path);
  /// Un-escapes the five sequences (pass by pass, each on the previous result), unscrambles
  /// with CodeKey, stores the result in ServerCode and returns it. Never fails on content.
  std::string DecodeReply(const std::string& reply);
  std::string GetServerCode() const { return ServerCode; }
  std::string GetExeMD5() const { return ExeMD5; }
  /// True when the trimmed fingerprint is not empty and equals the trimmed ServerCode.
  bool CodeMatches() const;

  /// The launcher's whole judgement of one mirror reply body: lower-case, trim, DecodeReply,
  /// CodeMatches. Updates ServerCode like DecodeReply.
  bool ReplyMatches(const std::string& body);
  /// Whether a mirror's reply body is a reply code at all: cleaned up and decoded as
  /// ReplyMatches does, a fingerprint's 32 hexadecimal digits (this build's or another's).
  /// Anything else (blanks, the page a sign-in portal serves for every address) is no answer,
  /// and the walk over the mirrors goes on as after a failed request. Leaves ServerCode alone.
  bool IsMirrorAnswer(const std::string& body) const;
  /// The body a mirror serves for `fingerprint`: scrambled with CodeKey, the five sequences
  /// escaped. Whether the launcher will accept it is for ReplyMatches to say.
  std::string EncodeReply(const std::string& fingerprint) const;
};

/// The single record of the run; absent until InitShareCode.
extern std::unique_ptr<TShareCode> ShareCode;

/// Creates ShareCode if absent, then SetCodeKey and LoadExeMD5. Errors of LoadExeMD5 propagate.
void InitShareCode();
