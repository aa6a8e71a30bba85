#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

#include "shell/AppWindows.h"
#include "ui/AccessibilityPage.h"
#include "ui/AppMenuPage.h"
#include "ui/ButtonStyle.h"
#include "ui/CirclePageIndicator.h"
#include "ui/DictationPage.h"
#include "ui/OnboardingView.h"
#include "ui/SettingsPage.h"
#include "ui/SlidingPageHost.h"
#include "ui/StyledButton.h"

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
    EXPECT_EQ(page.primaryButton()->text(), "Open Accessibility Preferences");
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
              "Right click on the vellumcaster logo in the menubar.\nFrom here  you can click to open the settings menu.");
    SettingsPage settings({}, {});
    EXPECT_EQ(settings.texts().at(1), "From the settings window you can configure the AI model,\n adjust system/app settings.");
}

TEST_F(OnboardingTest, OnboardingWindowClosesItselfAfterTheLastPage) {
    QPointer<AppWindow> window = makeOnboardingWindow(new OnboardingView(4, TrustCheck([] { return true; })));
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
