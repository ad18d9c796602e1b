// Files and folders that decide who may do what (a keys file, a host key, the service's folder
// and the logs in it) are used only when nobody else could have prepared them: owned by the
// system, the administrators or this program's own user, and writable by nobody else. As
// OpenSSH's StrictModes does: a file another user could write is not used, and why is said.
#pragma once
#include <cstdint>
#include <string>

namespace tolvi::platform {

struct FileTrust {
    bool trusted = true;
    std::string why;  // "is owned by HOST\eve", "can be written by BUILTIN\Users"
};

// The owner and the rights of an existing file or folder (its link, not what a link points
// to, on POSIX). Missing is trusted: the caller makes it as it wants it.
FileTrust CheckFileTrust(const std::string& path);

// CheckFileTrust of a file and of the folder it is in: "is owned by HOST\eve", "its folder
// /srv/keys can be written by anyone". A folder that anyone may write but only its owners may
// delete from (sticky, as /tmp) is no way in: the file's own owner is what counts there.
FileTrust CheckFileAndFolderTrust(const std::string& path);

// Whether a file just opened (its handle or descriptor) is owned by one of CheckFileTrust's
// owners: a log that somebody else made where ours would be, to read what we write, is not.
FileTrust CheckOwnerOf(intptr_t native);

// Makes a folder with rights of its own (not inherited from where it is made): the system
// and the administrators full control and, with othersRead, everyone may read; on POSIX mode
// 0700 (0755 with othersRead). An existing folder that is ours (CheckFileTrust's owners, no
// link in its place) gets those rights again; one that is not is left as it is, and false
// says why.
bool MakePrivateFolder(const std::string& path, bool othersRead, std::string* why);

}  // namespace tolvi::platform
