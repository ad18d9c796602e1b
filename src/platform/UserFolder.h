// Where a user's own files of the program live, and folders made for them.
#pragma once
#include <string>

namespace tolvi::platform {

// %APPDATA%\tolvi on Windows, $XDG_CONFIG_HOME/tolvi (~/.config/tolvi) elsewhere, made when
// missing (for its owner alone on POSIX); "" when there is no such folder.
std::string UserConfigFolder();

// Makes the folder (its parent must be there); true when it is there afterwards.
bool MakeFolder(const std::string& path);

// The folder part of a path: "C:\a\b.txt" -> "C:\a", "/a/b" -> "/a", "b" -> ".".
std::string FolderOf(const std::string& path);

}  // namespace tolvi::platform
