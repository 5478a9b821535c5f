#include "net/http/IdHeaderList.h"

#include "base/SysUtils.h"
#include "net/http/IdGlobal.h"

namespace {
bool IsContinuation(const std::string& line) { return !line.empty() && (line[0] == ' ' || line[0] == '\t'); }
}  // namespace

int TIdHeaderList::Add(const std::string& line) {
  lines_.push_back(line);
  return Count() - 1;
}

void TIdHeaderList::Insert(int i, const std::string& line) { lines_.insert(lines_.begin() + i, line); }

void TIdHeaderList::Put(int i, const std::string& line) { lines_.at(static_cast<std::size_t>(i)) = line; }

void TIdHeaderList::Delete(int i) {
  if (i >= 0 && i < Count()) lines_.erase(lines_.begin() + i);
}

std::string TIdHeaderList::Text() const {
  std::string s;
  for (const auto& l : lines_) s += l + "\r\n";
  return s;
}

std::string TIdHeaderList::NameOfLine(int i) const {
  std::string line = (*this)[i];
  if (!CaseSensitiveNames) line = UpperCase(line);
  std::size_t p = PosText(TrimRight(Separator), line);
  return p == 0 ? std::string() : line.substr(0, p - 1);
}

std::string TIdHeaderList::ValueOfLine(int i) const {
  if (i < 0 || i >= Count()) return "";
  const std::string& line = lines_[static_cast<std::size_t>(i)];
  const std::size_t nameLength = NameOfLine(i).size();
  std::string value = nameLength + 1 < line.size() ? line.substr(nameLength + 1) : "";
  if (UnfoldOnRead) {
    for (std::size_t k = static_cast<std::size_t>(i) + 1; k < lines_.size() && IsContinuation(lines_[k]); ++k)
      value = Trim(value) + " " + Trim(lines_[k]);
  }
  return Trim(value);
}

int TIdHeaderList::IndexOfHeader(const std::string& name) const {
  const std::string wanted = UpperCase(name);
  for (int i = 0; i < Count(); ++i)
    if (UpperCase(NameOfLine(i)) == wanted) return i;
  return -1;
}

std::string TIdHeaderList::HeaderValue(const std::string& name) const { return ValueOfLine(IndexOfHeader(name)); }

void TIdHeaderList::DeleteContinuations(int i) {
  while (i + 1 < Count() && IsContinuation(lines_[static_cast<std::size_t>(i) + 1])) Delete(i + 1);
}

void TIdHeaderList::SetHeaderValue(const std::string& name, const std::string& value) {
  int i = IndexOfHeader(name);
  if (value.empty()) {
    if (i == -1) return;
    if (FoldOnWrite) DeleteContinuations(i);
    Delete(i);
    return;
  }
  if (i == -1) i = Add("");
  if (!FoldOnWrite) {
    Put(i, name + Separator + value);
    return;
  }
  DeleteContinuations(i);
  std::vector<std::string> folded = FoldLine(name + Separator + value, FoldWidth);
  Put(i, folded[0]);
  for (std::size_t k = 1; k < folded.size(); ++k) Insert(i + static_cast<int>(k), folded[k]);
}

void TIdHeaderList::ExtractValues(const std::string& name, std::vector<std::string>* values) const {
  if (values == nullptr) return;
  const std::string wanted = UpperCase(name);
  for (int i = 0; i < Count(); ++i)
    if (UpperCase(NameOfLine(i)) == wanted) values->push_back(ValueOfLine(i));
}

std::vector<std::string> TIdHeaderList::FoldLine(const std::string& line, int width) {
  static const std::string kBreak = "\r\n ";
  auto isBreakChar = [](char c) { return c == '\t' || c == ' ' || c == ','; };
  const std::size_t n = line.size();
  std::string out;
  // Positions count from 1 as the walk describes them; `pos` is the next one to look at.
  std::size_t pos = 1, pieceStart = 1, breakPos = 0;
  long column = 1;
  bool quoted = false, existingBreak = false;
  while (pos <= n) {
    const char c = line[pos - 1];
    if (CharLength(line, pos - 1) == 2) {
      ++pos;  // the trail byte goes with it
      ++column;
    } else if (c == '\r') {
      if (!quoted && line.compare(pos - 1, kBreak.size(), kBreak) == 0) {
        existingBreak = true;
        pos += kBreak.size() - 1;
        breakPos = pos;
      }
    } else if (isBreakChar(c)) {
      if (!quoted) breakPos = pos;
    } else if (c == '"') {
      quoted = !quoted;
    }
    ++pos;
    ++column;
    if (!quoted && (existingBreak || (column > width && breakPos > pieceStart))) {
      column = static_cast<long>(pos - breakPos);
      out.append(line, pieceStart - 1, breakPos - pieceStart + 1);
      if (c != '"')
        while (pos <= n && (isBreakChar(line[pos - 1]) || line[pos - 1] == '\r' || line[pos - 1] == '\n')) ++pos;
      if (!existingBreak && pos < n) out += kBreak;
      pieceStart = breakPos + 1;
      existingBreak = false;
    }
  }
  if (pieceStart <= n) out.append(line, pieceStart - 1, std::string::npos);

  std::vector<std::string> result;
  std::size_t start = 0;
  for (;;) {
    std::size_t crlf = out.find("\r\n", start);
    result.push_back(TrimRight(out.substr(start, crlf == std::string::npos ? std::string::npos : crlf - start)));
    if (crlf == std::string::npos) break;
    start = crlf + 2;
  }
  return result;
}
