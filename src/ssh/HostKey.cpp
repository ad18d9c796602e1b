// Loading, making and fingerprinting the host key.
#include "ssh/HostKey.h"

#include "platform/FileTrust.h"
#include "ssh/Libssh.h"

namespace tolvi::ssh {

bool HostKey::Use(const std::string& text, const std::string& path, std::string* why) {
    ssh_key raw = nullptr;
    if (ssh_pki_import_privkey_base64(text.c_str(), nullptr, nullptr, nullptr, &raw) != SSH_OK) {
        *why = "The SSH host key " + path +
               " is not a private key that can be read (move it "
               "away to have a new one made; clients will then see a new fingerprint)";
        return false;
    }
    UniqueKey key(raw);
    if (ssh_key_type(key.get()) != SSH_KEYTYPE_ED25519) {
        *why = "The SSH host key " + path + " is not an Ed25519 key";
        return false;
    }
    fingerprint = Sha256Fingerprint(key.get());
    if (fingerprint.empty()) {
        *why = "The SSH host key's fingerprint could not be computed";
        return false;
    }
    privateText = text;
    return true;
}

bool HostKey::LoadOrCreate(const std::string& path, FileAccess access, std::string* why) {
    created = false;
    fingerprint.clear();
    privateText.clear();
    if (!StartLibssh()) {
        *why = "libssh could not be started";
        return false;
    }
    std::string text, reason;
    // A host key that somebody else could have put there would let them be the server.
    platform::FileTrust trust = platform::CheckFileAndFolderTrust(path);
    if (!trust.trusted) {
        *why = "The SSH host key " + path + " is not used: it " + trust.why;
        return false;
    }
    switch (ReadSmallFile(path, &text, &reason)) {
        case ReadResult::Read:
            return Use(text, path, why);
        case ReadResult::Failed:
        case ReadResult::Untrusted:
            *why = "The SSH host key " + path + " cannot be read (" + reason + ")";
            return false;
        case ReadResult::Missing:
            break;
    }
    ssh_key raw = nullptr;
    if (ssh_pki_generate(SSH_KEYTYPE_ED25519, 0, &raw) != SSH_OK) {
        *why = "No SSH host key could be made";
        return false;
    }
    UniqueKey key(raw);
    char* exported = nullptr;
    if (ssh_pki_export_privkey_base64(key.get(), nullptr, nullptr, nullptr, &exported) != SSH_OK) {
        *why = "No SSH host key could be made";
        return false;
    }
    text = exported;
    ssh_string_free_char(exported);
    if (text.empty() || text.back() != '\n')
        text += '\n';
    if (!CreatePrivateFile(path, text, access, &reason)) {
        // Another start may have made it in the meantime: then that one is the key.
        if (ReadSmallFile(path, &text, &reason) == ReadResult::Read)
            return Use(text, path, why);
        *why = "The SSH host key " + path + " could not be written (" + reason + ")";
        return false;
    }
    created = true;
    return Use(text, path, why);
}

}  // namespace tolvi::ssh
