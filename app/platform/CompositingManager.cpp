#include "platform/CompositingManager.h"

#include <QGuiApplication>

#include <string>

// Last: Xlib's macros clash with names in Qt's headers.
#include <X11/Xlib.h>

bool CompositingManager::isRunning() {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display()) return true;
    Display* display = x11->display();
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    return XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False)) != None;
}
