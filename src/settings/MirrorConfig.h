#pragma once
// Build-time mirror configuration: M1..M10 in the order of mirror order 1, and the home page.
// Defined by exactly one of the libraries st_mirrors_release, st_mirrors_demo or st_mirrors_e2e.

constexpr int kMirrorCount = 10;
extern const char* const kMirrorUrls[kMirrorCount];
extern const char* const kHomePageUrl;
