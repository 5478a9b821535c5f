#pragma once
// Raw HTTP header lines: "Name: value", folded onto continuation lines (beginning with a space
// or a TAB) when written and joined again when read.
#include <string>
#include <vector>

class TIdHeaderList {
 public:
  std::string Separator = ": ";
  bool CaseSensitiveNames = false;
  bool UnfoldOnRead = true;
  bool FoldOnWrite = true;
  int FoldWidth = 78;

  // ---- the string list -------------------------------------------------------------
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int i) const { return lines_.at(static_cast<std::size_t>(i)); }
  int Add(const std::string& line);
  void Insert(int i, const std::string& line);
  void Put(int i, const std::string& line);
  void Delete(int i);
  void Clear() { lines_.clear(); }
  /// Every line followed by CR LF.
  std::string Text() const;
  const std::vector<std::string>& Lines() const { return lines_; }

  // ---- headers ------------------------------------------------------------------------
  /// The name of line i (upper-cased unless CaseSensitiveNames); empty without ":".
  std::string NameOfLine(int i) const;
  /// The value of line i joined with its continuation lines (when UnfoldOnRead), trimmed;
  /// empty when i is outside the list.
  std::string ValueOfLine(int i) const;
  /// The first line whose name equals `name` ignoring case; -1 when none.
  int IndexOfHeader(const std::string& name) const;
  std::string HeaderValue(const std::string& name) const;
  /// Replaces the header in place (folding it when FoldOnWrite), appends a new one, or
  /// removes it when `value` is empty.
  void SetHeaderValue(const std::string& name, const std::string& value);
  /// Appends the value of every line named `name` (ignoring case) to `values`.
  void ExtractValues(const std::string& name, std::vector<std::string>* values) const;

  /// The line wrapped after a TAB, space or "," once it passes `width` columns, never inside
  /// double quotes or a double-byte character; continuation lines begin with a space.
  static std::vector<std::string> FoldLine(const std::string& line, int width);

 private:
  void DeleteContinuations(int i);
  std::vector<std::string> lines_;
};
