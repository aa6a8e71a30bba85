#pragma once

// Whether a compositing manager runs on the application's screen. Without one, an X server shows the transparent
// pixels of a translucent window as black; a window with rounded corners must then take the rounded shape itself.
class CompositingManager {
public:
    CompositingManager() = delete;

    // True when a compositing manager owns the screen's _NET_WM_CM_Sn selection, and on platforms other than X11
    // (a Wayland compositor composes every window). Needs the QGuiApplication; GUI thread only.
    static bool isRunning();
};
