// Room for a dialog's texts in whatever font the system draws them with: a template is laid
// out for one font, and a font put in its place may draw the same words wider.
#pragma once
#include <windows.h>

namespace tolvi::ui {

// Widens dialog and its controls, all in the same proportion, until every label, check box
// and button shows its text whole on the lines its control has; a dialog whose texts fit is
// left as it is. Called before the dialog is first shown.
void WidenForTexts(HWND dialog);

}  // namespace tolvi::ui
