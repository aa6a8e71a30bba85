#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/CopyToPasteboard.h"
#include "engine/PasteFromClipboard.h"
#include "platform/Pasteboard.h"
#include "platform/X11KeyPoster.h"
#include "CapturedLog.h"
#include "support/HostProgram.h"
#include "support/WaitFor.h"

namespace {

// A window of the test's own, on its own X connection, that holds the keyboard focus and behaves like an editor:
// Ctrl+V (Control and nothing else) asks the clipboard's owner for its text.
class PasteTarget {
public:
    struct Key {
        bool press;
        KeySym sym;
        unsigned int state;
    };

    PasteTarget() {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 10, 10, 200, 100, 0, 0, 0);
        XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapRaised(display_, window_);
        for (XEvent event;;) {
            XNextEvent(display_, &event);
            if (event.type == MapNotify) break;
        }
        XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
        XSync(display_, False);
        clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
        utf8_ = XInternAtom(display_, "UTF8_STRING", False);
        property_ = XInternAtom(display_, "VC_PASTED", False);
    }
    ~PasteTarget() {
        if (!display_) return;
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

    Display* display() const { return display_; }
    const std::vector<Key>& keys() const { return keys_; }
    const std::optional<std::string>& pasted() const { return pasted_; }

    bool hasKey(KeySym sym) const {
        for (const Key& key : keys_) {
            if (key.press && key.sym == sym) return true;
        }
        return false;
    }

    void fakeKey(KeySym sym, bool press) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, sym), press, CurrentTime);
        XSync(display_, False);
    }

    // Runs Qt's loop (which serves our clipboard) and this window's events until `done` or the time is up.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return vctest::waitFor(
            [&] {
                while (XPending(display_)) {
                    XEvent event;
                    XNextEvent(display_, &event);
                    handle(event);
                }
                return done();
            },
            int(limit.count()));
    }

private:
    void handle(XEvent& event) {
        if (event.type == KeyPress || event.type == KeyRelease) {
            const KeySym sym = XLookupKeysym(&event.xkey, 0);
            keys_.push_back({event.type == KeyPress, sym, event.xkey.state});
            const unsigned int modifiers = event.xkey.state & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask);
            if (event.type == KeyPress && sym == XK_v && modifiers == ControlMask) {
                XConvertSelection(display_, clipboard_, utf8_, property_, window_, event.xkey.time);
            }
        } else if (event.type == SelectionNotify && event.xselection.property != None) {
            Atom type = None;
            int format = 0;
            unsigned long count = 0, remaining = 0;
            unsigned char* data = nullptr;
            XGetWindowProperty(display_, window_, property_, 0, 1 << 20, True, AnyPropertyType, &type, &format, &count,
                               &remaining, &data);
            if (data) {
                pasted_ = std::string(reinterpret_cast<char*>(data), count);
                XFree(data);
            }
        }
    }

    Display* display_ = nullptr;
    Window window_ = 0;
    Atom clipboard_ = None, utf8_ = None, property_ = None;
    std::vector<Key> keys_;
    std::optional<std::string> pasted_;
};

std::string readClipboardWithXclip() {
    QProcess xclip;
    xclip.start(QString::fromStdString(vctest::hostProgram("xclip")), {"-o", "-selection", "clipboard", "-t", "UTF8_STRING"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    // xclip asks this process for the text, so Qt's loop must run while it waits.
    while (xclip.state() != QProcess::NotRunning && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        xclip.waitForFinished(5);
    }
    return xclip.readAllStandardOutput().toStdString();
}

class DeliveryTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 tests need an X server";
        ASSERT_NE(target.display(), nullptr);
        Pasteboard::setGeneral(nullptr);
    }
    PasteTarget target;
};

TEST_F(DeliveryTest, ClipboardHoldsTheTextAndCtrlVPastesItIntoTheFocusedWindow) {
    const std::string text = "dictated text, caf\xC3\xA9";
    copyToPasteboard(text);
    EXPECT_EQ(readClipboardWithXclip(), text);

    pasteFromClipboard();
    ASSERT_TRUE(target.pumpUntil([&] { return target.pasted().has_value(); }, std::chrono::seconds(10)));
    EXPECT_EQ(*target.pasted(), text);

    ASSERT_TRUE(target.pumpUntil([&] { return target.keys().size() >= 4; }, std::chrono::seconds(5)));
    const auto& keys = target.keys();
    EXPECT_TRUE(keys[0].press && keys[0].sym == XK_Control_L);
    EXPECT_TRUE(keys[1].press && keys[1].sym == XK_v);
    EXPECT_EQ(keys[1].state & (ShiftMask | ControlMask | Mod1Mask | Mod4Mask), unsigned(ControlMask));
    EXPECT_TRUE(!keys[2].press && keys[2].sym == XK_v);
    EXPECT_TRUE(!keys[3].press && keys[3].sym == XK_Control_L);
}

TEST_F(DeliveryTest, PasteWaitsUntilTheHotKeysModifierIsReleased) {
    X11KeyPoster poster(std::chrono::seconds(5));
    copyToPasteboard("after alt");
    target.fakeKey(XK_Alt_L, true);  // the user still holds the hot key's modifier
    poster.postPaste();
    EXPECT_FALSE(target.pumpUntil([&] { return target.hasKey(XK_v); }, std::chrono::milliseconds(400)));
    target.fakeKey(XK_Alt_L, false);
    ASSERT_TRUE(target.pumpUntil([&] { return target.pasted().has_value(); }, std::chrono::seconds(10)));
    EXPECT_EQ(*target.pasted(), "after alt");
}

TEST_F(DeliveryTest, ModifierHeldBeyondTheWaitPostsNothing) {
    capturetest::CapturedLog log;
    {
        X11KeyPoster poster(std::chrono::milliseconds(200));
        target.fakeKey(XK_Shift_L, true);
        poster.postPaste();
        EXPECT_FALSE(target.pumpUntil([&] { return target.hasKey(XK_v); }, std::chrono::milliseconds(600)));
    }  // the poster has given up once it is gone
    target.fakeKey(XK_Shift_L, false);
    EXPECT_FALSE(target.pumpUntil([&] { return target.hasKey(XK_v); }, std::chrono::milliseconds(200)));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"Modifier keys are still held down; the paste was not posted"});
}

}  // namespace
