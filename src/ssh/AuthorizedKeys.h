// The keys that may log in, read from an authorized_keys file in OpenSSH's format: an
// optional options field, the key type, its base64 and a comment. Our options: consoles="..."
// limits which consoles the key may open (by port or pipe name), watch makes it a watcher.
// OpenSSH's options that only restrict, or only permit, what this server never offers
// (forwarding, X11, agent, pty, user rc, environment) are accepted and change nothing; any
// other option (command=, from=, expiry-time=, cert-authority, ...) leaves its key unused,
// since ignoring it could give the key more than its owner meant.
#pragma once
#include <string>
#include <vector>

namespace tolvi::ssh {

struct AuthorizedKey {
    int line = 0;
    std::string type;                   // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"
    std::string blob;                   // the key, decoded: what a client offers
    std::string comment;                // "alice@laptop", or ""
    bool limited = false;               // consoles="..." was given
    std::vector<std::string> consoles;  // then: the ports and pipe names it may open
    bool watch = false;
};

struct AuthorizedKeys {
    std::vector<AuthorizedKey> keys;
    // What a reader should be told once: lines that were not used, and why (the first
    // kProblemsNamed by their number and start, the rest counted).
    static constexpr int kProblemsNamed = 10;
    std::vector<std::string> problems;

    // cut: text is the start of a larger file, whose last line is not whole.
    static AuthorizedKeys Parse(const std::string& text, bool cut = false);
    // The entry for the key a client offers (its decoded blob), or null.
    const AuthorizedKey* Find(const std::string& blob) const;
};

}  // namespace tolvi::ssh
