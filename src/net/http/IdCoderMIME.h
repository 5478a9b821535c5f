#pragma once
// Base64 as RFC 2045 defines it: 76-character lines are not inserted (the callers encode short
// credentials); decoding skips characters outside the alphabet and stops at "=".
#include <string>

std::string EncodeBase64(const std::string& bytes);
std::string DecodeBase64(const std::string& text);
