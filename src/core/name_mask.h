// Matching a file name against a mask of * and ?, as the system met here does.
#pragma once

#include <string>
#include <string_view>

// How a mask matches a name, both already in the system's upper case: * any
// run of characters, ? one character, trailing dots and stars of the mask
// ignored. It follows the matcher of the system the program meets here (Wine)
// step by step, including its shortcut after a star, which looks for the next
// mask character as it is, even when that is a ?: "*?B" does not match "AB".
// Windows backtracks fully there, and it gives "*." the meaning "names
// without an extension", where Wine drops the dot as it drops trailing dots of
// every name (so "*." lists everything); Windows also lets a ? before a dot
// or at the end match no character. So only under Wine are masks answered
// from a listing; on Windows each is asked of the system.
bool MaskMatches(std::wstring_view name, const std::wstring& mask);
