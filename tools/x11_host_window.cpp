#include "tools/x11_host_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orbel {

X11HostWindow::~X11HostWindow() { close(); }

bool X11HostWindow::open(int width, int height, int minWidth, int minHeight, int maxWidth,
                         int maxHeight, const std::string& title, std::string& error) {
  close();
  display_ = XOpenDisplay(nullptr);
  if (display_ == nullptr) {
    error =
        "cannot open the X display (is DISPLAY set? under a headless machine run Xvfb or xvfb-run)";
    return false;
  }
  const int screen = DefaultScreen(display_);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display_, screen);
  attributes.event_mask = StructureNotifyMask | ExposureMask;
  window_ =
      XCreateWindow(display_, RootWindow(display_, screen), 0, 0, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWEventMask, &attributes);
  width_ = width;
  height_ = height;
  XStoreName(display_, window_, title.c_str());
  XSizeHints* hints = XAllocSizeHints();
  if (hints != nullptr) {
    hints->flags = PMinSize | PMaxSize;
    hints->min_width = minWidth;
    hints->min_height = minHeight;
    hints->max_width = maxWidth;
    hints->max_height = maxHeight;
    XSetWMNormalHints(display_, window_, hints);
    XFree(hints);
  }
  deleteAtom_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  Atom protocols[] = {static_cast<Atom>(deleteAtom_)};
  XSetWMProtocols(display_, window_, protocols, 1);
  XMapWindow(display_, window_);
  XSync(display_, False);
  return true;
}

void X11HostWindow::close() {
  if (display_ == nullptr) return;
  if (window_ != 0) XDestroyWindow(display_, window_);
  window_ = 0;
  XCloseDisplay(display_);
  display_ = nullptr;
}

int X11HostWindow::connectionFd() const {
  return display_ != nullptr ? ConnectionNumber(display_) : -1;
}

X11HostWindow::Events X11HostWindow::pump() {
  Events events;
  if (display_ == nullptr) return events;
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == ConfigureNotify && event.xconfigure.window == window_) {
      if (event.xconfigure.width != width_ || event.xconfigure.height != height_) {
        width_ = event.xconfigure.width;
        height_ = event.xconfigure.height;
        events.resized = true;
      }
    } else if (event.type == ClientMessage &&
               static_cast<unsigned long>(event.xclient.data.l[0]) == deleteAtom_) {
      events.closeRequested = true;
    }
  }
  events.width = width_;
  events.height = height_;
  return events;
}

void X11HostWindow::resize(int width, int height) {
  if (display_ == nullptr) return;
  XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XSync(display_, False);
  width_ = width;
  height_ = height;
}

bool X11HostWindow::capture(std::vector<uint8_t>& rgb, int& width, int& height) {
  if (display_ == nullptr) return false;
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display_, window_, &attributes) == 0) return false;
  XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  width = attributes.width;
  height = attributes.height;
  rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  const unsigned long redMask = image->red_mask, greenMask = image->green_mask,
                      blueMask = image->blue_mask;
  auto shiftOf = [](unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
      mask >>= 1;
      ++shift;
    }
    return shift;
  };
  const int redShift = shiftOf(redMask), greenShift = shiftOf(greenMask),
            blueShift = shiftOf(blueMask);
  const auto scale = [](unsigned long value, unsigned long mask, int shift) {
    const unsigned long max = mask >> shift;
    return static_cast<uint8_t>(max == 0 ? 0 : ((value & mask) >> shift) * 255 / max);
  };
  size_t at = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      rgb[at++] = scale(pixel, redMask, redShift);
      rgb[at++] = scale(pixel, greenMask, greenShift);
      rgb[at++] = scale(pixel, blueMask, blueShift);
    }
  }
  XDestroyImage(image);
  return true;
}

}  // namespace orbel
