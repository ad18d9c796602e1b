// The server's own Ed25519 host key: loaded from its file, or made at the first start and
// written with rights for its owner only. A file that exists but cannot be read or is not
// such a key is an error, never silently replaced: clients that trust the old key would be
// told the server changed. Its fingerprint, SHA256:<base64>, is what users compare.
#pragma once
#include <string>

#include "ssh/KeyFiles.h"

namespace tolvi::ssh {

class HostKey {
  public:
    // False, with a text that names the file and what to do, when there is no usable key.
    bool LoadOrCreate(const std::string& path, FileAccess access, std::string* why);

    bool Created() const { return created; }  // made by the last LoadOrCreate
    const std::string& Fingerprint() const { return fingerprint; }
    // The private key in OpenSSH's format, for the server; "" before a successful load.
    const std::string& PrivateText() const { return privateText; }

  private:
    bool Use(const std::string& text, const std::string& path, std::string* why);

    bool created = false;
    std::string fingerprint;
    std::string privateText;
};

}  // namespace tolvi::ssh
