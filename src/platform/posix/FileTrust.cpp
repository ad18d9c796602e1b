// The trust of files on POSIX: the owner is root or this program's user, and the mode lets
// neither the group nor others write.
#include "platform/FileTrust.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/PipeServerTrust.h"

namespace tolvi::platform {
namespace {

std::string UserName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return "uid " + std::to_string(uid);
}

FileTrust Judge(const struct stat& info) {
    FileTrust trust;
    if (!IsTrustedServerUid(info.st_uid, geteuid())) {
        trust.trusted = false;
        trust.why = "is owned by " + UserName(info.st_uid);
    } else if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !S_ISLNK(info.st_mode) &&
               !(S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0)) {
        trust.trusted = false;
        trust.why = (info.st_mode & S_IWOTH) != 0 ? "can be written by anyone"
                                                  : "can be written by its group";
    }
    return trust;
}

}  // namespace

FileTrust CheckFileTrust(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return {};
    if (S_ISLNK(info.st_mode))
        return {false, "is a link"};
    return Judge(info);
}

FileTrust CheckOwnerOf(intptr_t native) {
    struct stat info {};
    if (fstat(static_cast<int>(native), &info) != 0)
        return {false, std::strerror(errno)};
    if (!IsTrustedServerUid(info.st_uid, geteuid()))
        return {false, "is owned by " + UserName(info.st_uid)};
    return {};
}

bool MakePrivateFolder(const std::string& path, bool othersRead, std::string* why) {
    const mode_t mode = othersRead ? 0755 : 0700;
    if (mkdir(path.c_str(), mode) == 0) {
        chmod(path.c_str(), mode);  // the mode asked for, whatever the umask took away
        return true;
    }
    if (errno != EEXIST) {
        *why = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *why = "is not a folder";
        return false;
    }
    if (!IsTrustedServerUid(info.st_uid, geteuid())) {
        *why = Judge(info).why;
        return false;
    }
    if (chmod(path.c_str(), mode) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tolvi::platform
