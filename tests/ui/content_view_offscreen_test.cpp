#include "ui/ContentView.h"

#include "engine/CapturedLog.h"
#include "platform/NotificationCenter.h"
#include "shell/AudioManager.h"
#include "shell/KeyboardManager.h"
#include "support/TempHome.h"
#include "ui/RecordingCard.h"
#include "ui/RecordingCardList.h"
#include "ui/RecordingDetail.h"
#include "ui/RecordingWaveformView.h"
#include "platform/VisualEffectView.h"
#include "ui/history_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QThread>
#include <QThreadPool>

#include <fstream>
#include <thread>

using namespace historytest;

namespace {

std::vector<std::string> texts(const std::vector<const Recording*>& recordings) {
    std::vector<std::string> out;
    for (const Recording* r : recordings) out.push_back(r->metadata.result);
    return out;
}

}  // namespace

class History : public testing::Test {
protected:
    ~History() override {
        delete view.data();
        // No reload may still read HOME when the test's folder goes away.
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Opens the window and waits for the first load.
    ContentView& open() {
        view = new ContentView(keyboard, audio);
        reloads = 0;
        QObject::connect(view, &ContentView::recordingsReloaded, [this] { ++reloads; });
        view->show();
        QApplication::setActiveWindow(view);
        EXPECT_TRUE(waitFor([this] { return reloads == 1; }));
        return *view;
    }

    void waitForReload(int count) { EXPECT_TRUE(waitFor([&] { return reloads >= count; })); }

    bool sendKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        return QApplication::sendEvent(target, &press) && press.isAccepted();
    }

    vctest::TempHome home;
    KeyboardManager keyboard;
    AudioManager audio{SettingsStore::standard(), std::make_shared<vctest::FakeAudioDeviceSource>()};
    QPointer<ContentView> view;
    int reloads = 0;
};

TEST_F(History, EmptyHistoryShowsBothPlaceholders) {
    ContentView& v = open();
    EXPECT_TRUE(v.showsNoRecordingsText());
    EXPECT_EQ(v.detail(), nullptr);
    EXPECT_FALSE(v.selectedRecording());
}

TEST_F(History, ListsNewestFirstAndSelectsTheNewest) {
    writeDictation(1000, record("oldest"));
    writeDictation(2000, record("middle"));
    writeDictation(3000, record("newest"));
    ContentView& v = open();
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"newest", "middle", "oldest"}));
    ASSERT_TRUE(v.selectedRecording());
    EXPECT_EQ(v.selectedRecording()->metadata.result, "newest");
    ASSERT_NE(v.detail(), nullptr);
    EXPECT_EQ(v.detail()->resultText(), "newest");
    EXPECT_EQ(v.cardList().visibleCards().front()->isSelected(), true);
    EXPECT_FALSE(v.showsNoRecordingsText());
}

TEST_F(History, SearchIgnoresCaseSearchesOnlyTheTextAndTheDetailFollowsTheList) {
    writeDictation(1000, record("Hello world"));
    writeDictation(2000, record("goodbye  now"));
    RecordingMetadata other = record("HELLO again");
    other.modelName = "hello model";
    writeDictation(3000, other);
    writeDictation(4000, record("selected one"));
    ContentView& v = open();
    EXPECT_EQ(v.detail()->resultText(), "selected one");

    // A selection the list no longer holds gives way to the list's first; one it still holds stays.
    v.setSearchTerm("hello");
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"HELLO again", "Hello world"}));
    EXPECT_EQ(v.detail()->resultText(), "HELLO again");
    v.selectRecording(v.filteredRecordings()[1]->id);
    v.setSearchTerm("WORLD");
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"Hello world"}));
    EXPECT_EQ(v.detail()->resultText(), "Hello world");
    v.setSearchTerm("  ");  // not trimmed: only texts holding two blanks
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"goodbye  now"}));
    ASSERT_NE(v.detail(), nullptr);
    EXPECT_EQ(v.detail()->resultText(), "goodbye  now");
    EXPECT_TRUE(v.cardList().visibleCards().front()->isSelected());

    // Nothing found: nothing is shown in detail either.
    v.setSearchTerm("nothing like this");
    EXPECT_TRUE(v.showsNoRecordingsText());
    EXPECT_EQ(v.detail(), nullptr);
    EXPECT_FALSE(v.selectedRecording());
    v.setSearchTerm("");
    EXPECT_EQ(v.filteredRecordings().size(), 4u);
    EXPECT_EQ(v.detail()->resultText(), "selected one");
}

TEST_F(History, SearchMatchesAComposedLetterWithItsDecomposedForm) {
    writeDictation(1000, record("Caf\u00e9 au lait"));       // é as one code point
    writeDictation(2000, record("RE\u0301SUME\u0301 sent"));  // É as E and a combining acute
    writeDictation(3000, record("cafe latte"));
    ContentView& v = open();
    v.setSearchTerm(QString::fromUtf8("cafe\u0301"));
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"Caf\u00e9 au lait"}));
    v.setSearchTerm(QString::fromUtf8("r\u00e9sum\u00e9"));
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"RE\u0301SUME\u0301 sent"}));
    v.setSearchTerm("cafe");  // a plain e is another letter than an accented one
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"cafe latte"}));
}

TEST_F(History, SidebarMaterialIsASiblingBeforeTheMainColumn) {
    ContentView& v = open();
    VisualEffectView& sidebar = v.sidebarBackground();
    EXPECT_EQ(sidebar.material(), VisualEffectView::Material::Sidebar);
    EXPECT_EQ(sidebar.blendingMode(), VisualEffectView::BlendingMode::BehindWindow);
    EXPECT_EQ(sidebar.parentWidget(), &v);
    EXPECT_EQ(v.layout()->itemAt(0)->widget(), &sidebar);
    // Not behind the column: above it, as wide as the view, and only as high as the room left over.
    EXPECT_EQ(sidebar.width(), v.width());
    EXPECT_LE(sidebar.geometry().bottom(), v.searchField().mapTo(&v, QPoint(0, 0)).y());
    v.resize(v.width(), v.height() + 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(sidebar.height(), 40);
}

TEST_F(History, ClickSelectsWithoutScrollingAndArrowsScrollToTheCentre) {
    for (int i = 0; i < 12; ++i) writeDictation(1000 + i, record("dictation " + std::to_string(i)));
    ContentView& v = open();
    QScrollBar* bar = v.cardList().verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    const Recording fourth = v.recordings()[3];

    v.selectRecording(fourth.id);
    EXPECT_EQ(v.selectedRecording()->id, fourth.id);
    EXPECT_FALSE(v.lastNavigationActionKeyboard());
    EXPECT_EQ(bar->value(), 0);

    EXPECT_TRUE(v.handleNavigationKey(Qt::Key_Down));
    EXPECT_TRUE(v.lastNavigationActionKeyboard());
    EXPECT_EQ(v.selectedRecording()->id, v.recordings()[4].id);
    const int cardCentre = RecordingCardList::topPadding + 4 * (RecordingCard::cardHeight + RecordingCardList::cardSpacing) +
                           RecordingCard::cardHeight / 2;
    EXPECT_EQ(bar->value(), std::min(bar->maximum(), cardCentre - v.cardList().viewport()->height() / 2));
}

TEST_F(History, ArrowKeysInTheSearchFieldMoveTheSelectionThroughTheListShown) {
    writeDictation(1000, record("pear three"));
    writeDictation(2000, record("banana two"));
    writeDictation(3000, record("pear one"));
    ContentView& v = open();
    v.setSearchTerm("pear");
    QLineEdit* field = &v.searchField();
    field->setCursorPosition(2);

    EXPECT_TRUE(sendKey(field, Qt::Key_Down));  // past the hidden "banana two"
    EXPECT_EQ(v.selectedRecording()->metadata.result, "pear three");
    EXPECT_EQ(v.detail()->resultText(), "pear three");
    EXPECT_TRUE(sendKey(field, Qt::Key_Down, Qt::ShiftModifier));
    EXPECT_EQ(v.selectedRecording()->metadata.result, "pear one");
    EXPECT_TRUE(sendKey(field, Qt::Key_Up));
    EXPECT_EQ(v.selectedRecording()->metadata.result, "pear three");
    EXPECT_EQ(field->cursorPosition(), 2);  // the field never saw the arrows
    EXPECT_EQ(field->text(), "pear");

    sendKey(field, Qt::Key_Left);
    EXPECT_EQ(field->cursorPosition(), 1);
    EXPECT_EQ(v.selectedRecording()->metadata.result, "pear three");

    // Once the content is off screen the arrows are the field's again.
    v.hide();
    EXPECT_FALSE(v.keyMonitorInstalled());
    sendKey(field, Qt::Key_Down);
    EXPECT_EQ(v.selectedRecording()->metadata.result, "pear three");
}

TEST_F(History, ArrowKeysOfOtherWindowsAndOfOpenPopupsAreNotTaken) {
    writeDictation(1000, record("older"));
    writeDictation(2000, record("newer"));
    ContentView& v = open();

    // A drop-down list in another window, the settings window say, while that window is the active one.
    QWidget settings;
    auto* combo = new QComboBox(&settings);
    combo->addItems({"one", "two", "three"});
    settings.show();
    QApplication::setActiveWindow(&settings);
    EXPECT_TRUE(sendKey(combo, Qt::Key_Down));
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(v.selectedRecording()->metadata.result, "newer");

    // Back in the history window the arrows move its selection again, but not while a popup has the keys.
    QApplication::setActiveWindow(&v);
    QMenu menu;
    menu.addAction("first");
    menu.addAction("second");
    menu.popup(QPoint(0, 0));
    ASSERT_EQ(QApplication::activePopupWidget(), &menu);
    sendKey(&v.searchField(), Qt::Key_Down);
    EXPECT_EQ(v.selectedRecording()->metadata.result, "newer");
    menu.close();
    EXPECT_TRUE(sendKey(&v.searchField(), Qt::Key_Down));
    EXPECT_EQ(v.selectedRecording()->metadata.result, "older");
}

TEST_F(History, FinishedDictationPostedFromAnotherThreadReloadsOnTheGuiThread) {
    writeDictation(1000, record("first"));
    writeDictation(2000, record("second"));
    ContentView& v = open();
    v.setSearchTerm("first");
    v.selectRecording(v.recordings()[1].id);
    const QUuid before = v.recordings()[1].id;

    QThread* reloadThread = nullptr;
    QObject::connect(&v, &ContentView::recordingsReloaded, [&] { reloadThread = QThread::currentThread(); });
    writeDictation(3000, record("third"));
    std::thread poster([] { NotificationCenter::defaultCenter().post("recordingComplete"); });
    poster.join();
    waitForReload(2);

    EXPECT_EQ(reloadThread, QApplication::instance()->thread());
    EXPECT_EQ(v.recordings().size(), 3u);
    // The newest of the dictations the search lets through.
    EXPECT_EQ(v.selectedRecording()->metadata.result, "first");
    EXPECT_NE(v.selectedRecording()->id, before);
    EXPECT_EQ(v.searchTerm(), "first");
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"first"}));

    // Other notifications are not for this window.
    NotificationCenter::defaultCenter().post("somethingElse");
    QCoreApplication::processEvents();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(reloads, 2);
}

TEST_F(History, ClosedWindowIsFreedAndNoLongerReloadsOrTakesKeys) {
    writeDictation(1000, record("one"));
    writeDictation(2000, record("two"));
    ContentView& v = open();
    v.close();
    EXPECT_FALSE(v.keyMonitorInstalled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(view.isNull());

    // A view that still observed the notification or the keys would now be used after it was freed.
    NotificationCenter::defaultCenter().post("recordingComplete");
    QCoreApplication::processEvents();
    QLineEdit other;
    other.setText("ab");
    sendKey(&other, Qt::Key_Left);
    EXPECT_EQ(other.cursorPosition(), 1);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

TEST_F(History, UnreadableFoldersAreSkippedOrShownWithWhatCanBeRead) {
    writeDictation(1000, record("good"));
    std::filesystem::create_directories(recordingsDirectory() / "1500");  // no meta.json: not listed
    const auto broken = makeRecordingFolder(2000);
    std::ofstream(broken / "meta.json") << "{\"datetime\": 12";
    const auto truncated = writeDictation(3000, record("truncated audio"));
    std::filesystem::resize_file(truncated / "output.wav", 20);

    capturetest::CapturedLog log;
    ContentView& v = open();
    ASSERT_EQ(v.recordings().size(), 3u);
    EXPECT_EQ(v.selectedRecording()->metadata.result, "truncated audio");
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(v.detail()->waveform().waveHeights().empty());
    EXPECT_TRUE(v.recordings()[1].metadata.result.empty());
    EXPECT_EQ(log.lines().size(), 1u);  // the broken record; a short file is no error
    EXPECT_EQ(log.lines()[0].rfind("Error parsing metadata: ", 0), 0u);

    v.setSearchTerm("OO");
    EXPECT_EQ(texts(v.filteredRecordings()), (std::vector<std::string>{"good"}));
}
