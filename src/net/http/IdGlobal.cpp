#include "net/http/IdGlobal.h"

#include <cerrno>
#include <cmath>
#include <limits>
#include <optional>

#include "base/SysUtils.h"
#include "platform/Platform.h"

namespace {
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

/// First occurrence at a character boundary; `fold` compares without ASCII case.
std::size_t Search(const std::string& needle, const std::string& text, bool fold) {
  if (needle.empty() || needle.size() > text.size()) return 0;
  const std::size_t last = text.size() - needle.size();
  for (std::size_t i = 0; i <= last;) {
    std::size_t k = 0;
    while (k < needle.size() && (fold ? Upper(text[i + k]) == Upper(needle[k]) : text[i + k] == needle[k])) ++k;
    if (k == needle.size()) return i + 1;
    i += CharLength(text, i);
  }
  return 0;
}

std::string Cut(std::string& text, std::size_t pos, std::size_t delimiterLength, bool remove) {
  if (pos == 0) {
    std::string all = text;
    if (remove) text.clear();
    return all;
  }
  std::string head = text.substr(0, pos - 1);
  if (remove) text.erase(0, pos - 1 + delimiterLength);
  return head;
}
}  // namespace

std::size_t PosText(const std::string& needle, const std::string& text) { return Search(needle, text, false); }

std::string FetchToken(std::string& text, const std::string& delimiter, bool remove) {
  return Cut(text, Search(delimiter, text, false), delimiter.size(), remove);
}

std::string FetchTokenNoCase(std::string& text, const std::string& delimiter, bool remove) {
  return Cut(text, Search(delimiter, text, true), delimiter.size(), remove);
}

bool SameText(const std::string& a, const std::string& b) { return UpperCase(a) == UpperCase(b); }

std::size_t FindLast(const std::string& needle, const std::string& text, long start) {
  if (needle.empty() || needle.size() > text.size()) return 0;
  const std::size_t lastFit = text.size() - needle.size() + 1;  // from 1
  std::size_t limit =
      (start < 0 || static_cast<std::size_t>(start) > lastFit) ? lastFit : static_cast<std::size_t>(start);
  std::size_t found = 0;
  std::string rest = text;
  std::size_t offset = 0;  // characters of `text` before `rest`
  while (offset < limit) {
    std::size_t p = Search(needle, rest, true);
    if (p == 0 || offset + p > limit) break;
    found = offset + p;
    // Resume one character after the hit, keeping to character boundaries.
    const std::size_t step = CharLength(rest, p - 1);
    rest.erase(0, p - 1 + step);
    offset += p - 1 + step;
  }
  return found;
}

// ---- numbers ------------------------------------------------------------------------

bool TryStrToInt(const std::string& text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

std::int32_t StrToIntDef(const std::string& text, std::int32_t fallback) {
  std::int32_t v;
  return TryStrToInt(text, v) ? v : fallback;
}

std::int32_t StrToInt(const std::string& text) {
  std::int32_t v;
  if (!TryStrToInt(text, v)) throw EConvertError("'" + text + "' is not a valid integer value");
  return v;
}

// ---- calendar -------------------------------------------------------------------------

namespace {
constexpr std::int64_t kMsPerDay = 86400000;

// Days from 1 March of year 0 based civil counting (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe);
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

/// Whole milliseconds since the epoch, split into days and the time of day.
void Split(TDateTime d, std::int64_t& days, std::int64_t& ms) {
  std::int64_t total = std::llround(d * static_cast<double>(kMsPerDay));
  days = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
  ms = total - days * kMsPerDay;
}

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  static const int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  int len = kLength[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
  if (day > len) return false;
  result =
      static_cast<TDateTime>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpoch);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return false;
  result = ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + millisecond) / kMsPerDay;
  return true;
}

void DecodeDate(TDateTime d, int& year, int& month, int& day) {
  std::int64_t days, ms;
  Split(d, days, ms);
  CivilFromDays(days + kEpoch, year, month, day);
}

void DecodeTime(TDateTime d, int& hour, int& minute, int& second, int& millisecond) {
  std::int64_t days, ms;
  Split(d, days, ms);
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime d) {
  std::int64_t days, ms;
  Split(d, days, ms);
  // 30 December 1899 was a Saturday.
  return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
}

TDateTime Now() {
  platform::LocalDateTime t = platform::LocalNow();
  TDateTime date = 0, time = 0;
  TryEncodeDate(t.year, t.month, t.day, date);
  TryEncodeTime(t.hour, t.minute, t.second, t.millisecond, time);
  return date + time;
}

namespace {
/// Minutes to add to local time to get UTC.
int LocalBias() {
  const std::optional<int> bias = platform::LocalBiasMinutes();
  if (!bias) throw EIdFailedToRetreiveTimeZoneInfo("Failed attempting to retrieve time zone information.");
  return *bias;
}
}  // namespace

TDateTime LocalOffsetFromUtc() { return -static_cast<TDateTime>(LocalBias()) / 1440.0; }

// ---- internet dates --------------------------------------------------------------------

namespace {
int MonthOf(const std::string& field) {
  std::string u = UpperCase(field);
  for (int i = 0; i < 12; ++i)
    if (u == UpperCase(kMonths[i])) return i + 1;
  return 0;
}

/// Reads the date and time at the front of `s`; leaves the zone text in `s`. False when the
/// text holds no valid date; `s` then keeps what followed the point where reading stopped.
bool ParseDateTime(std::string& s, TDateTime& result) {
  s = Trim(s);
  if (s.empty()) return false;
  const std::string head = UpperCase(s.substr(0, 3));
  for (const char* day : kDays) {
    if (head == UpperCase(day)) {
      FetchToken(s, " ");
      s = TrimLeft(s);
      break;
    }
  }
  const std::size_t dash = PosText("-", s), space = PosText(" ", s);
  const std::string delimiter = (dash >= 2 && (space == 0 || dash < space)) ? "-" : " ";
  auto field = [&]() {
    std::string f = FetchToken(s, delimiter);
    s = TrimLeft(s);
    return f;
  };
  int day, month;
  {
    std::string peek = s;
    if (MonthOf(FetchToken(peek, delimiter)) != 0) {
      month = MonthOf(field());
      day = StrToIntDef(field(), 1);
    } else {
      day = StrToIntDef(field(), 1);
      month = MonthOf(field());
    }
  }
  // The year; in the asctime form the time comes first and the year last.
  std::string taken = FetchToken(s, " ");
  std::int32_t year;
  if (!TryStrToInt(taken, year)) {
    year = StrToIntDef(Trim(s), 1900);
    s = taken;
  }
  if (year < 80)
    year += 2000;
  else if (year < 100)
    year += 1900;
  TDateTime date;
  if (!TryEncodeDate(year, month, day, date)) return false;
  if (PosText(":", s) != 0) {
    std::string clock = FetchToken(s, " ");
    int h = StrToIntDef(FetchToken(clock, ":"), 0);
    int m = StrToIntDef(FetchToken(clock, ":"), 0);
    int sec = StrToIntDef(clock, 0);
    TDateTime time;
    if (!TryEncodeTime(h, m, sec, 0, time)) return false;
    date += time;
  }
  s = TrimLeft(s);
  result = date;
  return true;
}

/// "+hhmm" / "-hhmm" as a fraction of a day; anything else (GMT, UTC, letters) is 0.
TDateTime ZoneOffset(const std::string& zone) {
  std::string z = Trim(zone).substr(0, 5);
  if (z.size() < 5 || (z[0] != '+' && z[0] != '-')) return 0;
  std::int32_t h, m;
  if (!TryStrToInt(z.substr(1, 2), h) || !TryStrToInt(z.substr(3, 2), m)) return 0;
  if (h < 0 || m < 0) return 0;
  TDateTime off = (h * 60.0 + m) / 1440.0;
  return z[0] == '-' ? -off : off;
}
}  // namespace

TDateTime InternetDateToLocal(const std::string& text) {
  std::string rest = text;
  TDateTime d;
  if (!ParseDateTime(rest, d)) d = 0;
  TDateTime zone = rest.size() > 4 ? ZoneOffset(rest) : 0;
  return d - zone + LocalOffsetFromUtc();
}

std::string FormatInternetDate(TDateTime d) {
  int y, mo, day, h, mi, s, ms;
  DecodeDate(d, y, mo, day);
  DecodeTime(d, h, mi, s, ms);
  int bias = -LocalBias();  // minutes east of UTC
  char sign = bias < 0 ? '-' : '+';
  if (bias < 0) bias = -bias;
  return std::string(kDays[DayOfWeek(d) - 1]) + ", " + std::to_string(day) + " " + kMonths[mo - 1] + " " +
         std::to_string(y) + " " + IntToStrZeroPadded(h, 2) + ":" + IntToStrZeroPadded(mi, 2) + ":" +
         IntToStrZeroPadded(s, 2) + " " + sign + IntToStrZeroPadded(bias / 60, 2) + IntToStrZeroPadded(bias % 60, 2);
}
