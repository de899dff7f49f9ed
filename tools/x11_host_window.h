// The probe's own X11 window, which it lends to a plug-in view as a Linux
// host does ("X11EmbedWindowID"): a plain top-level window that reports
// being resized or closed by the window manager, and can be read back as
// pixels (what the user sees there, the plug-in's embedded windows
// included).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

namespace orbel {

class X11HostWindow {
public:
  X11HostWindow() = default;
  ~X11HostWindow();
  X11HostWindow(const X11HostWindow&) = delete;
  X11HostWindow& operator=(const X11HostWindow&) = delete;

  // Connects to $DISPLAY and maps a window of `width` × `height` titled
  // `title`, within the given size limits. False with a reason when there
  // is no display.
  bool open(int width, int height, int minWidth, int minHeight, int maxWidth, int maxHeight,
            const std::string& title, std::string& error);
  void close();

  uint64_t windowId() const { return window_; }
  // The X connection's descriptor: readable when events wait.
  int connectionFd() const;

  struct Events {
    bool resized = false;
    int width = 0;
    int height = 0;
    bool closeRequested = false;
  };
  // Handles every event that waits; what it reports about the window.
  Events pump();

  void resize(int width, int height);
  int width() const { return width_; }
  int height() const { return height_; }

  // The window's pixels as RGB rows, top to bottom. False when the window
  // cannot be read.
  bool capture(std::vector<uint8_t>& rgb, int& width, int& height);

private:
  _XDisplay* display_ = nullptr;
  unsigned long window_ = 0;
  unsigned long deleteAtom_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace orbel
