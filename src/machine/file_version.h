// File versions from version resources, and their comparison.
#pragma once

#include <string>

// The file version of the version resource as "major.minor.release.build";
// empty when the file has none.
std::string GetFileVersionText(const std::string& path);

// Positive when version a is higher, 0 when equal, negative when lower. Up to
// four dot-separated decimal parts, missing parts 0; a text with more parts or
// a part that is not a number counts as 0.0.0.0.
int CompareVersions(const std::string& a, const std::string& b);
