// The main frame's two bars: a flat toolbar at the top, loaded from a toolbar resource and
// its bitmap, and a status bar with a message pane and the lock-key indicators.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace tolvi::ui {

class ToolBar {
  public:
    ToolBar() = default;
    ~ToolBar();
    ToolBar(const ToolBar&) = delete;
    ToolBar& operator=(const ToolBar&) = delete;

    // Creates the bar as a child of parent with the given control id.
    bool Create(HWND parent, DWORD style, UINT id);
    // Adds the buttons that toolbar resource id lists, with the pictures of bitmap id.
    bool LoadToolBar(int resourceId);
    // Names a strip of the same pictures drawn size pixels square, in bitmap bitmapId.
    void AddPictureSize(int size, int bitmapId);
    // Shows the strip that suits dpi: the largest that is not larger than the resource's
    // pictures scaled to dpi, so that no picture is stretched; the smallest when none is.
    bool ScaleTo(UINT dpi);
    // The side of the pictures shown, in pixels.
    int PictureSize() const { return pictureSize; }
    HWND Hwnd() const { return hwnd; }
    const std::vector<UINT>& Commands() const { return commands; }

  private:
    bool ShowPictures(int size, int bitmapId);

    HWND hwnd = nullptr;
    std::vector<UINT> commands;
    std::vector<std::pair<int, int>> strips;  // picture size, bitmap id; the first is 96 DPI's
    HIMAGELIST pictures = nullptr;
    int pictureSize = 0;
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
    HWND Hwnd() const { return hwnd; }
    void Resize();
    // The indicators' widths follow the window's DPI.
    void SetDpi(UINT dpi) { currentDpi = dpi; }

  private:
    void SetPaneText(size_t pane);

    HWND hwnd = nullptr;
    UINT currentDpi = 96;
    std::vector<UINT> panes;
    std::vector<std::string> shown;
};

// Shows or hides a bar; true when it is shown afterwards.
bool ToggleBar(HWND bar);

}  // namespace tolvi::ui
