// A notice on the test's X server under a window manager that hands the focus as a desktop does: it can come between a
// press of the hot key and the paste, so neither showing it nor a click on it takes the focus from the window the user
// is typing in; and while it is shown, the application's other windows stay usable.

#include "AppProcess.h"
#include "WindowManager.h"
#include "shell/Notice.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <cstdlib>

using shelltest::run;
using shelltest::waitFor;

namespace {

TEST(NoticeTest, NeitherShowingNorAClickOnItTakesTheFocusAndTheOtherWindowsStayUsable) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the x11 layer needs an X server";
    vctest::requireHostPrograms({"xdotool", "openbox"});
    shelltest::WindowManager windowManager;
    ASSERT_TRUE(windowManager.start()) << "openbox did not start";
    QLineEdit typing;
    ASSERT_TRUE(shelltest::WindowManager::showFocused(typing));
    const QString typingWindow = QString::number(typing.winId());
    // A window of the application's that is used by mouse and takes no focus, as the menu window; away from the
    // middle of the screen, where the notice shows.
    QPushButton menu(QStringLiteral("Start dictating"));
    menu.setAttribute(Qt::WA_ShowWithoutActivating);
    menu.setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    menu.setGeometry(40, 40, 200, 40);
    int clicks = 0;
    QObject::connect(&menu, &QPushButton::clicked, [&] { ++clicks; });
    menu.show();
    const QString menuWindow = QString::number(menu.winId());
    ASSERT_TRUE(waitFor([&] { return shelltest::WindowManager::stacking().contains(menuWindow); }, 10000));

    QPointer<Notice> notice = new Notice(QMessageBox::Warning, QStringLiteral("Could not save the dictation"));
    notice->present(QStringLiteral("The dictation was pasted, but it could not be stored."));
    const QString noticeWindow = QString::number(notice->winId());
    ASSERT_TRUE(waitFor([&] { return shelltest::WindowManager::stacking().contains(noticeWindow); }, 10000));
    ASSERT_TRUE(shelltest::WindowManager::settle());
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typingWindow) << "showing the notice took the focus";

    // On its text, away from the button.
    shelltest::click(noticeWindow, {shelltest::windowGeometry(noticeWindow).width() / 2, 20});
    ASSERT_TRUE(shelltest::WindowManager::settle());
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typingWindow) << "a click on the notice took the focus";

    shelltest::click(menuWindow, {100, 20});
    EXPECT_TRUE(waitFor([&] { return clicks == 1; }, 5000)) << "the notice blocks the other windows";

    shelltest::clickOk(noticeWindow);
    EXPECT_TRUE(waitFor([&] { return notice.isNull(); }, 10000)) << "OK did not close the notice";
    EXPECT_EQ(shelltest::WindowManager::focusedWindow(), typingWindow);
}

}  // namespace
