#include "platform/TrustCheck.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

bool TrustCheck::displayHasXTest() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    const bool available = XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor);
    XCloseDisplay(display);
    return available;
}
