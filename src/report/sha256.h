// SHA-256, for the page's Content-Security-Policy: only the page's own
// script, named by its digest, may run, whatever a log's text holds.
#pragma once

#include <string>
#include <string_view>

// The digest of the bytes, in base64 (as a policy's 'sha256-...' source takes it).
std::string Sha256Base64(std::string_view bytes);
