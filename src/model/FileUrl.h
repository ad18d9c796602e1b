// The address of a file for a browser: file:/// and the path with every character that is
// not plainly safe in an address percent-encoded, so that an install path holding '#', '%',
// a blank or letters beyond ASCII still names the file.
#pragma once
#include <string>

namespace tolvi {

// windowsPath like "C:\Program Files\tolvi\tolvi.html"; fragment without its '#', or "".
std::string FileUrl(const std::string& windowsPath, const std::string& fragment);

}  // namespace tolvi
