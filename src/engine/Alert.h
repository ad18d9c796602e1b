// The few failures the engine reports to the user itself ("Could not create thread", a failed
// pipe read, a failed wait). The host decides how: the GUI shows a modal message box, the
// console host prints a line. The call returns when the user has seen it.
#pragma once
#include <string>

namespace tolvi {

using AlertHandler = void (*)(const std::string& text);

// Installs the host's handler; nullptr restores the default, which writes to stderr.
void SetAlertHandler(AlertHandler handler);

void ShowAlert(const std::string& text);

}  // namespace tolvi
