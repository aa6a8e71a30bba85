#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

#include "shell/AppWindows.h"
#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "support/FakeAudioDeviceSource.h"
#include "ui/AccessibilityPage.h"
#include "ui/AppMenuPage.h"
#include "ui/ButtonStyle.h"
#include "ui/CirclePageIndicator.h"
#include "ui/DictationPage.h"
#include "ui/OnboardingView.h"
#include "ui/SettingsPage.h"
#include "ui/SlidingPageHost.h"
#include "ui/StyledButton.h"
#include "ui/TextBlock.h"
#include "ui/WindowContents.h"

#include <QLabel>

namespace {

// Catches what the desktop's URL opener is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler("https", this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("https"); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class OnboardingTest : public testing::Test {
protected:
    OnboardingTest() { SlidingPageHost::animationsEnabled = false; }
    ~OnboardingTest() override { SlidingPageHost::animationsEnabled = true; }
};

TEST_F(OnboardingTest, NextBackAndCloseOnTheLastPage) {
    OnboardingView view(4, TrustCheck([] { return true; }));
    int closed = 0;
    view.setCloseAction([&] { ++closed; });
    EXPECT_NE(qobject_cast<AccessibilityPage*>(view.page()), nullptr);
    view.previousOnboardingPage();
    EXPECT_EQ(view.selectedTab(), 0);

    view.nextOnboardingPage();
    EXPECT_NE(qobject_cast<DictationPage*>(view.page()), nullptr);
    view.nextOnboardingPage();
    EXPECT_NE(qobject_cast<AppMenuPage*>(view.page()), nullptr);
    view.previousOnboardingPage();
    EXPECT_EQ(view.selectedTab(), 1);
    view.nextOnboardingPage();
    view.nextOnboardingPage();
    auto* last = qobject_cast<SettingsPage*>(view.page());
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(closed, 0);
    last->doneButton()->click();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(view.selectedTab(), 3);

    OnboardingView outside(4);
    for (int i = 0; i < 5; ++i) outside.nextOnboardingPage();  // no close action: the last step does nothing
    EXPECT_EQ(outside.selectedTab(), 3);
    OnboardingView empty(0);
    int emptyClosed = 0;
    empty.setCloseAction([&] { ++emptyClosed; });
    empty.nextOnboardingPage();
    EXPECT_EQ(emptyClosed, 1);
}

TEST_F(OnboardingTest, DotsAndBrandRowFromTheSecondPageWithTheCurrentDotBlue) {
    OnboardingView view(4, TrustCheck([] { return true; }));
    view.show();
    EXPECT_FALSE(view.indicator()->isVisible());
    EXPECT_FALSE(view.brandRow()->isVisible());
    view.nextOnboardingPage();
    view.nextOnboardingPage();
    ASSERT_TRUE(view.indicator()->isVisible());
    EXPECT_TRUE(view.brandRow()->isVisible());

    CirclePageIndicator* dots = view.indicator();
    EXPECT_EQ(dots->sizeHint(), QSize(4 * 10 + 3 * 8, 10));
    const QImage image = dots->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    for (int index = 0; index < 4; ++index) {
        const QColor expected = index == 2 ? ButtonStyle::blue() : ButtonStyle::gray();
        EXPECT_EQ(image.pixelColor(dots->dotCentre(index) * ratio).rgb(), expected.rgb()) << index;
    }
    CirclePageIndicator none(0, Binding<int>());
    EXPECT_EQ(none.sizeHint().width(), 0);
}

TEST_F(OnboardingTest, AccessibilityPageOpensThenConfirmsWithoutCheckingAgain) {
    UrlCatcher urls;
    bool trusted = false;
    int completed = 0;
    AccessibilityPage page([&] { ++completed; }, TrustCheck([&] { return trusted; }));
    EXPECT_EQ(page.primaryButton()->text(), "Check Again");
    EXPECT_TRUE(page.trustStatus().startsWith("Not found"));

    page.learnMoreButton()->click();
    ASSERT_EQ(urls.opened.size(), 1);
    EXPECT_EQ(urls.opened.front().toString(), AccessibilityPage::helpURL);
    EXPECT_FALSE(page.hasClickedOpen());
    EXPECT_EQ(completed, 0);

    trusted = true;
    page.primaryButton()->click();
    EXPECT_TRUE(page.hasClickedOpen());
    EXPECT_EQ(page.primaryButton()->text(), "Confirm enabled");
    EXPECT_TRUE(page.trustStatus().startsWith("Found"));
    EXPECT_EQ(completed, 0);

    trusted = false;  // "Confirm enabled" moves on whatever the session offers
    page.primaryButton()->click();
    page.primaryButton()->click();
    EXPECT_EQ(completed, 2);
}

TEST_F(OnboardingTest, PageTextsKeepTheirBlanksAndLineFeeds) {
    DictationPage dictation({}, {});
    EXPECT_EQ(dictation.texts().at(1), "Use the keyboard shortcut shown below.\n Once you're done recording hit it again.");
    AppMenuPage menu({}, {});
    EXPECT_EQ(menu.texts().at(1),
              "Right click on the vellumcaster logo in the system tray.\nFrom here  you can click to open the settings "
              "menu.");
    SettingsPage settings({}, {});
    EXPECT_EQ(settings.texts().at(1), "From the settings window you can configure the AI model,\n adjust system/app settings.");
}

TEST_F(OnboardingTest, PagesSpeakOfTheLinuxDesktop) {
    OnboardingView view(4, TrustCheck([] { return false; }));
    for (int tab = 0; tab < 4; ++tab) {
        for (QWidget* w : view.page()->findChildren<QWidget*>()) {
            QString text;
            if (auto* block = qobject_cast<TextBlock*>(w)) text = block->text();
            if (auto* button = qobject_cast<StyledButton*>(w)) text = button->text();
            for (const char* word : {"menubar", "Preferences", "Accessibility", "\u2325", "\u2318"})
                EXPECT_FALSE(text.contains(QString::fromUtf8(word))) << tab << ": " << text.toStdString();
        }
        view.nextOnboardingPage();
    }
}

TEST_F(OnboardingTest, AccessibilityPictureShowsWhatTheCheckFound) {
    // The status circle of the display box beside its mark, in the picture's own proportions.
    const auto circleColour = [](const AccessibilityPage& page) {
        const QImage image = page.illustration()->pixmap().toImage();
        return image.pixelColor(image.width() * 230 / 850, image.height() * 230 / 380);
    };
    bool trusted = false;
    AccessibilityPage page({}, TrustCheck([&] { return trusted; }));
    EXPECT_TRUE(page.trustStatus().startsWith("Not found"));
    // No green tick: a gray mark.
    EXPECT_LT(circleColour(page).green(), 190);
    EXPECT_LT(std::abs(circleColour(page).green() - circleColour(page).red()), 30);

    trusted = true;
    page.primaryButton()->click();
    EXPECT_TRUE(page.trustStatus().startsWith("Found"));
    EXPECT_LT(circleColour(page).red(), 100);
    EXPECT_GT(circleColour(page).green(), 180);
}

TEST_F(OnboardingTest, FirstPageIsCentredInItsFrameTwentyPointsApart) {
    OnboardingView view(4, TrustCheck([] { return false; }));
    view.show();
    auto* page = qobject_cast<AccessibilityPage*>(view.page());
    ASSERT_NE(page, nullptr);
    const QRect picture = page->illustration()->geometry();
    const QRect button = page->primaryButton()->geometry();
    const auto inPage = [page](const QWidget* w) { return QRect(w->mapTo(page, QPoint(0, 0)), w->size()); };
    const QRect text = inPage(page->textBlocks().back());
    EXPECT_EQ(picture.top() - text.bottom() - 1, 20);
    EXPECT_NEAR(button.top() - picture.bottom() - 1, 20, 1);  // buttons of different heights are centred in the row
    // The stack sits in the middle of the page's frame, not spread over it.
    const int above = inPage(page->textBlocks().front()).top() - page->contentsRect().top();
    const int below = page->contentsRect().bottom() - std::max(button.bottom(), page->learnMoreButton()->geometry().bottom());
    EXPECT_NEAR(above, below, 2);
}

TEST_F(OnboardingTest, TextsWrapAtThePagesWidthNotAtThePicturesWidth) {
    OnboardingView view(4, TrustCheck([] { return true; }));
    view.show();
    for (int tab = 1; tab < 4; ++tab) {
        view.nextOnboardingPage();
        auto* page = qobject_cast<OnboardingPage*>(view.page());
        ASSERT_NE(page, nullptr);
        for (const TextBlock* block : page->textBlocks()) {
            // Every text of these pages fits the page's width: it breaks only at its own line feeds.
            EXPECT_EQ(block->visibleLines(), block->text().split('\n')) << tab;
            EXPECT_GT(block->width(), 0);
            // A centred block whose lines start at its left edge.
            EXPECT_NEAR(block->geometry().center().x(), page->width() / 2, 1);
        }
    }
}

TEST_F(OnboardingTest, OnboardingWindowClosesItselfAfterTheLastPage) {
    KeyboardManager keyboard;
    AudioManager audio(SettingsStore::standard(), std::make_shared<vctest::FakeAudioDeviceSource>());
    WindowContents contents(SettingsStore::standard(), TrustCheck([] { return true; }));
    const QMenu statusMenu;
    AppWindows windows(keyboard, audio, contents, statusMenu);
    QPointer<AppWindow> window = windows.showOnboarding();
    auto* view = qobject_cast<OnboardingView*>(window->root());
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(window->isVisible());
    for (int i = 0; i < 3; ++i) view->nextOnboardingPage();
    EXPECT_TRUE(window->isVisible());
    view->nextOnboardingPage();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());  // closed, and freed since nobody keeps it
}

}  // namespace

#include "onboarding_offscreen_test.moc"
