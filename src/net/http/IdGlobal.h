#pragma once
// Text tools shared by the HTTP units (the delimiter search, FetchToken, FindLast, strict and
// lenient number reading) and the calendar arithmetic behind internet dates.
#include <cstdint>
#include <string>

#include "net/transport/IdException.h"

SETUPTQ_EXCEPTION(EIdFailedToRetreiveTimeZoneInfo, EIdException);

// ---- searching and cutting ------------------------------------------------------------

// Every search steps over double-byte characters when the system's code page has them
// (CharLength, base/SysUtils.h), so that a trail byte never matches; otherwise it
// is a plain byte search.

/// The position (from 1) of the first occurrence of needle in text; 0 when absent or needle
/// empty.
std::size_t PosText(const std::string& needle, const std::string& text);

/// The part of `text` before the first `delimiter`; with `remove`, `text` keeps what follows
/// it (the delimiter dropped), or becomes empty when there is no delimiter.
std::string FetchToken(std::string& text, const std::string& delimiter, bool remove = true);
/// The same, finding the delimiter without regard to ASCII case.
std::string FetchTokenNoCase(std::string& text, const std::string& delimiter, bool remove = true);

/// Whether two texts are equal ignoring ASCII case.
bool SameText(const std::string& a, const std::string& b);

/// Start (from 1) of the last occurrence of needle beginning at or before `start` (-1: the end
/// of the text), ignoring ASCII case; 0 when there is none.
std::size_t FindLast(const std::string& needle, const std::string& text, long start = -1);

// ---- numbers ----------------------------------------------------------------------

SETUPTQ_EXCEPTION(EConvertError, Exception);

/// A 32-bit signed decimal number, optionally signed and preceded by blanks, nothing after it.
bool TryStrToInt(const std::string& text, std::int32_t& value);
std::int32_t StrToIntDef(const std::string& text, std::int32_t fallback);
/// Raises EConvertError "'<text>' is not a valid integer value" when the text is no number.
std::int32_t StrToInt(const std::string& text);

// ---- date and time ------------------------------------------------------------------

/// Days since 30 December 1899 (the fraction is the time of day), local time unless said.
using TDateTime = double;

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
void DecodeDate(TDateTime d, int& year, int& month, int& day);
void DecodeTime(TDateTime d, int& hour, int& minute, int& second, int& millisecond);
/// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime d);
/// The current local date and time.
TDateTime Now();

/// Local time minus UTC as a signed fraction of a day (east of UTC is positive). Raises
/// EIdFailedToRetreiveTimeZoneInfo when the system cannot tell.
TDateTime LocalOffsetFromUtc();
/// An HTTP date in any of the three forms (RFC 1123, RFC 850, asctime), with an optional
/// numeric zone, turned into local time. The date of an unreadable text counts as 0, to which
/// the zone and the local offset still apply.
TDateTime InternetDateToLocal(const std::string& text);
/// A local date-time as "Sun, 6 Nov 1994 08:49:37 +0800".
std::string FormatInternetDate(TDateTime d);
