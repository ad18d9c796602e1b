// The help: one HTML page beside the program (tolvi.html), opened through the shell.
#pragma once
#include <windows.h>

#include <string>

namespace tolvi {

// The page's address; section "" for its top, "what-is-it" for the introduction.
std::string HelpAddress(const std::string& section);

using HelpOpener = void (*)(HWND owner, const std::string& address);
// Replaces how the page is opened (the shell's default browser); nullptr restores it.
void SetHelpOpener(HelpOpener opener);
void OpenHelp(HWND owner, const std::string& section);

// The program file's full path in UTF-8, whatever its length; false when it cannot be found.
bool ProgramPath(std::string* path);

}  // namespace tolvi
