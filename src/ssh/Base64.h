// Base64 as OpenSSH writes keys and fingerprints: the standard alphabet, decoded strictly.
#pragma once
#include <string>

namespace tolvi::ssh {

// padded: with the trailing '=' (keys); without, as fingerprints are shown.
std::string Base64Encode(const std::string& bytes, bool padded = true);
// False for anything but whole, correctly padded base64 (no spaces, no stray characters).
bool Base64Decode(const std::string& text, std::string* bytes);

}  // namespace tolvi::ssh
