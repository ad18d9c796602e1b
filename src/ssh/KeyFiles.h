// The SSH server's files: the keys file read whole, and the host key written once, readable
// by its owner alone.
#pragma once
#include <string>

namespace tolvi::ssh {

// Who may read and write a private file on Windows: the user who makes it, or the local
// system and the administrators (a service's files). POSIX: its owner, mode 0600, either way.
enum class FileAccess { CurrentUser, Administrators };

// Untrusted: not read, since somebody else could have written it (platform/FileTrust.h).
enum class ReadResult { Read, Missing, Failed, Untrusted };

// Reads a file of at most most bytes; the reason, with the system's text, when not. With cut,
// a larger file is read up to most bytes, and *cut says that more was left unread.
constexpr size_t kMaxFileSize = 1 << 20;
constexpr size_t kMaxKeysFileSize = 16 << 20;
ReadResult ReadSmallFile(const std::string& path, std::string* text, std::string* why,
                         size_t most = kMaxFileSize, bool* cut = nullptr);

// Makes path, which must not exist yet, holding text, with rights for access alone: no one
// else can read it at any moment. False with the reason; nothing is left behind then.
bool CreatePrivateFile(const std::string& path, const std::string& text, FileAccess access,
                       std::string* why);

}  // namespace tolvi::ssh
