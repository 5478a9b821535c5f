#pragma once
// A release's settings as its release.cmake sets them: the values a launcher made for that
// release must carry. Read the way CMake reads the set() calls the file holds.
#include <string>
#include <vector>

#include "base/SysUtils.h"

SETUPTQ_EXCEPTION(EReleaseFileError, Exception);

struct TReleaseFile {
  std::string productCode, version, homePage;
  std::string quietArguments, noRestartArgument;  // empty when not set
  std::vector<std::string> mirrors;
};

/// Parses the text of a release.cmake: set(SETUPTQ_PRODUCT_CODE "..."), SETUPTQ_PRODUCT_VERSION,
/// SETUPTQ_HOME_PAGE and SETUPTQ_MIRRORS, and SETUPTQ_INSTALLER_QUIET and SETUPTQ_INSTALLER_NORESTART
/// where set (quoted values, one or more, over any number of lines;
/// "#" comments). Raises EReleaseFileError naming what is missing.
TReleaseFile ParseReleaseFile(const std::string& text);

/// Reads and parses the release file at `path` (ParseReleaseFile); raises EReleaseFileError
/// naming the file, or the open error when there is none.
TReleaseFile ReadReleaseFile(const std::string& path);
