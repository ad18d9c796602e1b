// The main frame's two bars: a flat toolbar at the top, loaded from a toolbar resource and
// its bitmap, and a status bar with a message pane and the lock-key indicators.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace tolvi::ui {

class ToolBar {
  public:
    // Creates the bar as a child of parent with the given control id.
    bool Create(HWND parent, DWORD style, UINT id);
    // Adds the buttons that toolbar resource id lists, with the pictures of bitmap id.
    bool LoadToolBar(int resourceId);
    HWND Hwnd() const { return hwnd_; }
    const std::vector<UINT>& Commands() const { return commands_; }

  private:
    HWND hwnd_ = nullptr;
    std::vector<UINT> commands_;
};

class StatusBar {
  public:
    bool Create(HWND parent, DWORD style, UINT id);
    // Panes in order; id 0 is the message pane, which takes the width the others leave.
    bool SetIndicators(const UINT* ids, int count);
    void SetMessage(const std::string& text);
    std::string Message() const;
    // Shows each lock-key indicator while its key is on.
    void UpdateIndicators();
    HWND Hwnd() const { return hwnd_; }
    void Resize();

  private:
    HWND hwnd_ = nullptr;
    std::vector<UINT> panes_;
    std::vector<std::string> shown_;
};

// Shows or hides a bar; true when it is shown afterwards.
bool ToggleBar(HWND bar);

}  // namespace tolvi::ui
