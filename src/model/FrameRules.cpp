// The main frame's rules.
#include "model/FrameRules.h"

namespace tolvi {
namespace {

constexpr uint32_t kLeftButtonDown = 0x201, kRightButtonDown = 0x204;

}  // namespace

CloseAction DecideClose(bool inTray, bool exitToTray) {
    return (inTray || !exitToTray) ? CloseAction::EndProgram : CloseAction::GoToTray;
}

TrayAction DecideTrayNotify(uint32_t mouseMessage) {
    if (mouseMessage == kLeftButtonDown)
        return TrayAction::Restore;
    if (mouseMessage == kRightButtonDown)
        return TrayAction::ShowMenu;
    return TrayAction::None;
}

}  // namespace tolvi
