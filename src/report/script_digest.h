// The digest of the page's own script for its Content-Security-Policy: only
// that script, named by its SHA-256, may run, whatever a log's text holds.
#pragma once

#include <string>
#include <string_view>

// The script's SHA-256 in base64, as a policy's 'sha256-...' source takes it,
// from the system's cryptography; empty where the system has none (the page
// then shows without its sorting and filtering rather than run anything).
std::string ScriptDigest(std::string_view script);
