// The recording window on a real X server, where no compositing manager may run: its rounded corners must show what
// lies behind the window, not black.

#include "shell/RecordingWindow.h"
#include "support/WaitFor.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QWindow>

#include <cstdlib>
#include <set>
#include <string>

// Last: Xlib's macros clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

// A compositing manager as far as the X server can tell: another client owning the screen's selection.
class CompositingManagerStandIn {
public:
    CompositingManagerStandIn() : display_(XOpenDisplay(nullptr)) {
        const Window root = DefaultRootWindow(display_);
        owner_ = XCreateSimpleWindow(display_, root, 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, XInternAtom(display_, "_NET_WM_CM_S0", False), owner_, CurrentTime);
        XSync(display_, False);
    }
    ~CompositingManagerStandIn() { XCloseDisplay(display_); }

private:
    Display* display_;
    Window owner_ = 0;
};

// The colours the screen shows in a rectangle, as "#rrggbb".
std::set<std::string> screenColours(const QRect& area) {
    const QImage image =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    std::set<std::string> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixelColor(x, y).name().toStdString());
    }
    return colours;
}

std::string screenPixel(const QPoint& at) { return *screenColours(QRect(at, QSize(1, 1))).begin(); }

TEST(RecordingWindowX11, RoundedCornersShowWhatLiesBehindWithoutACompositingManager) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 layer needs an X server";
    const QColor behindColour(200, 40, 40);
    const std::string behindName = behindColour.name().toStdString();
    QWidget behind(nullptr, Qt::FramelessWindowHint);
    QPalette palette = behind.palette();
    palette.setColor(QPalette::Window, behindColour);
    behind.setPalette(palette);
    behind.setAutoFillBackground(true);
    behind.setGeometry(QGuiApplication::primaryScreen()->geometry());
    behind.show();
    ASSERT_TRUE(vctest::waitFor([&] { return behind.windowHandle()->isExposed(); }));

    auto* content = new QLabel(QStringLiteral("Press Escape to cancel"));
    content->setFixedSize(500, 120);
    RecordingWindow window(content);
    window.present();
    ASSERT_TRUE(vctest::waitFor([&] { return window.windowHandle()->isExposed(); }));
    const QRect frame = window.geometry();
    ASSERT_TRUE(vctest::waitFor([&] { return screenPixel(frame.center()) != behindName; })) << "not drawn";
    EXPECT_EQ(screenPixel(frame.topLeft()), behindName);
    EXPECT_EQ(screenPixel(frame.bottomRight()), behindName);
    // Along the curve, nothing but the two: no dark edge where smoothing met a missing background.
    const std::string panelName = screenPixel(frame.center() + QPoint(0, frame.height() / 2 - 4));
    EXPECT_NE(panelName, behindName);
    const QSize corner(RecordingWindow::cornerRadius, RecordingWindow::cornerRadius);
    EXPECT_EQ(screenColours(QRect(frame.topLeft(), corner)), (std::set<std::string>{behindName, panelName}));
    EXPECT_EQ(screenColours(QRect(frame.bottomRight() - QPoint(corner.width() - 1, corner.height() - 1), corner)),
              (std::set<std::string>{behindName, panelName}));

    // Where a compositing manager runs, translucency rounds the corners and the window keeps its whole shape.
    window.hide();
    const CompositingManagerStandIn compositor;
    window.present();
    EXPECT_TRUE(window.mask().isEmpty());
}

}  // namespace
