#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGraphicsBlurEffect>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QProgressBar>
#include <QTextDocument>

#include <algorithm>
#include <fstream>

#include <QClipboard>
#include <QGuiApplication>
#include <sys/inotify.h>
#include <unistd.h>

#include "engine/FileDownloader.h"
#include "engine/Model.h"
#include "ui/ModelConfigView.h"
#include "ui/PromptField.h"
#include "ui/StyledButton.h"
#include "ui/TextBlock.h"
#include "support/TempHome.h"
#include "support/WaitFor.h"

namespace fs = std::filesystem;

namespace {

class ModelConfigTest : public testing::Test {
protected:
    void addModelFile(const std::string& key, const std::string& language) {
        std::ofstream(modelsFolderURL() / modelFileName(key, language)) << "model";
    }
    std::unique_ptr<ModelConfigView> make() {
        return std::make_unique<ModelConfigView>(
            Binding<bool>([this] { return navigationDisabled; }, [this](const bool& v) { navigationDisabled = v; }),
            [this] {
                ++downloadersMade;
                return std::make_unique<FileDownloader>();
            },
            settings);
    }
    // The downloader publishes its progress; the page follows the published value.
    static void publish(ModelConfigView& page, float progress) { emit page.fileDownloader()->downloadProgressChanged(progress); }

    vctest::TempHome home;
    SettingsStore settings{home.config() / "vellumcaster/settings.json"};
    bool navigationDisabled = false;
    int downloadersMade = 0;
};

TEST_F(ModelConfigTest, PickerTextAndUnknownKeyFallsBackToTheDefaultRow) {
    EXPECT_EQ(ModelConfigView::pickerText(defaultModel()), "Standard (5x speed, medium accuracy, 487 MB)");
    settings.setString("activeModelKey", "gigantic");
    auto page = make();  // shown with a key the catalogue lacks: the panel opens for the default row
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_EQ(page->panelTitle()->text(), "Download Standard model");
    EXPECT_TRUE(page->panelMessage()->text().contains("at least 487 MB of storage"));
}

TEST_F(ModelConfigTest, ChoosingAModelWithItsFileMakesItActiveAtOnce) {
    addModelFile("small", "en");
    addModelFile("tiny", "en");
    auto page = make();
    EXPECT_FALSE(page->showModelDownloadAlert());
    page->chooseModel("tiny");
    EXPECT_EQ(settings.storedString("activeModelKey"), "tiny");
    EXPECT_FALSE(page->showModelDownloadAlert());
    EXPECT_FALSE(navigationDisabled);
    EXPECT_FALSE(page->downloadPanel()->isVisibleTo(page.get()));
}

TEST_F(ModelConfigTest, ChoosingAModelWithoutItsFileOpensThePanelAndLocksTheTabs) {
    addModelFile("small", "en");
    auto page = make();
    page->show();
    page->chooseModel("medium");
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_TRUE(navigationDisabled);
    EXPECT_FALSE(settings.contains("activeModelKey"));
    EXPECT_EQ(page->panelTitle()->text(), "Download Pro model");
    EXPECT_FALSE(page->settingsColumn()->isEnabled());
    EXPECT_TRUE(page->downloadPanel()->isVisibleTo(page.get()));
    // The column shows blurred, as a picture in its place; it comes back when the panel closes.
    EXPECT_TRUE(page->blurredColumn()->isVisibleTo(page.get()));
    EXPECT_FALSE(page->settingsColumn()->isVisibleTo(page.get()));
    EXPECT_EQ(page->blurredColumn()->pixmap().deviceIndependentSize().toSize(), page->settingsColumn()->size());
    EXPECT_EQ(qobject_cast<QGraphicsBlurEffect*>(page->blurredColumn()->graphicsEffect())->blurRadius(), 10);
    page->cancelModelDownload();
    EXPECT_FALSE(page->blurredColumn()->isVisibleTo(page.get()));
    EXPECT_TRUE(page->settingsColumn()->isVisibleTo(page.get()));
}

TEST_F(ModelConfigTest, PanelButtonsFollowTheProgress) {
    addModelFile("small", "en");
    auto page = make();
    page->chooseModel("base");
    ASSERT_NE(page->fileDownloader(), nullptr);
    // Waiting: both enabled.
    EXPECT_TRUE(page->cancelButton()->isEnabled());
    EXPECT_TRUE(page->downloadButton()->isEnabled());
    EXPECT_FALSE(page->downloadButton()->buttonStyle().isDisabled);
    EXPECT_FALSE(page->doneButton()->isVisibleTo(page.get()));
    // Downloading.
    publish(*page, 0.5f);
    EXPECT_TRUE(page->cancelButton()->isEnabled());
    EXPECT_FALSE(page->downloadButton()->isEnabled());
    EXPECT_TRUE(page->downloadButton()->buttonStyle().isDisabled);
    EXPECT_EQ(page->progressBar()->value(), 500);
    // Complete: "Done" replaces "Download", "Cancel" is off.
    publish(*page, 1.0f);
    EXPECT_FALSE(page->cancelButton()->isEnabled());
    EXPECT_TRUE(page->cancelButton()->buttonStyle().isDisabled);
    EXPECT_FALSE(page->downloadButton()->isVisibleTo(page.get()));
    EXPECT_TRUE(page->doneButton()->isVisibleTo(page.get()));
    EXPECT_TRUE(page->doneButton()->isEnabled());

    page->modelDownloadFinished();  // activates without checking the file again
    EXPECT_EQ(settings.storedString("activeModelKey"), "base");
    EXPECT_FALSE(page->showModelDownloadAlert());
    EXPECT_FALSE(navigationDisabled);
    EXPECT_EQ(page->fileDownloader(), nullptr);
}

TEST_F(ModelConfigTest, DownloadStaysOffOnceStartedEvenWithoutProgress) {
    addModelFile("small", "en");
    setenv("VELLUMCASTER_MODEL_BASE_URL", "http://127.0.0.1:9/", 1);  // nothing listens there
    auto page = make();
    page->chooseModel("base");
    page->startModelDownload();
    EXPECT_FALSE(page->downloadButton()->isEnabled());
    publish(*page, -1.0f);  // a server without a length
    EXPECT_FALSE(page->downloadButton()->isEnabled());
    EXPECT_TRUE(page->cancelButton()->isEnabled());
    page->cancelModelDownload();
    unsetenv("VELLUMCASTER_MODEL_BASE_URL");
}

TEST_F(ModelConfigTest, ShownAgainWhileADownloadRunsKeepsThePanelAndItsDownload) {
    addModelFile("small", "en");
    setenv("VELLUMCASTER_MODEL_BASE_URL", "http://127.0.0.1:9/", 1);  // nothing listens there
    auto page = make();
    page->show();
    page->chooseModel("base");
    page->startModelDownload();
    publish(*page, 0.3f);
    FileDownloader* downloader = page->fileDownloader();
    page->hide();
    page->show();
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_EQ(page->fileDownloader(), downloader);
    EXPECT_EQ(page->selectedModelKey(), "base");
    page->cancelModelDownload();
    unsetenv("VELLUMCASTER_MODEL_BASE_URL");
}

TEST_F(ModelConfigTest, CancelResetsToTheDefaultModelAndEveryOpeningMeetsANewDownloader) {
    addModelFile("small", "en");
    auto page = make();
    page->chooseModel("large");
    publish(*page, 0.5f);
    page->cancelModelDownload();
    EXPECT_FALSE(page->showModelDownloadAlert());
    EXPECT_FALSE(navigationDisabled);
    EXPECT_EQ(page->selectedModelKey(), "small");
    EXPECT_EQ(settings.storedString("activeModelKey"), "small");  // the reset's own change runs the handler
    EXPECT_EQ(page->modelPicker()->currentData().toString(), "small");

    page->chooseModel("medium");
    EXPECT_EQ(downloadersMade, 2);
    EXPECT_EQ(page->progressBar()->value(), 0);
    EXPECT_TRUE(page->downloadButton()->isEnabled());
}

TEST_F(ModelConfigTest, CancelWithoutTheDefaultModelSwitchesToEnglishAndOffersIt) {
    settings.setString("selectedLanguage", "de");
    addModelFile("small", "de");
    auto page = make();
    page->chooseModel("tiny");
    page->cancelModelDownload();
    // "small" exists for German, so the language stays.
    EXPECT_EQ(settings.storedString("selectedLanguage"), "de");
    EXPECT_FALSE(page->showModelDownloadAlert());

    std::filesystem::remove(modelsFolderURL() / modelFileName("small", "de"));
    page->chooseModel("tiny");
    page->cancelModelDownload();
    EXPECT_EQ(settings.storedString("selectedLanguage"), "en");
    // The handlers run after the operation: the default model's file is missing too, so its panel opens.
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_EQ(page->panelTitle()->text(), "Download Standard model");
    EXPECT_TRUE(navigationDisabled);
}

TEST_F(ModelConfigTest, LanguageChangeOpensThePanelWhenTheFileForTheNewLanguageIsMissing) {
    addModelFile("small", "en");
    auto page = make();
    EXPECT_FALSE(page->translationToggle()->isEnabledTo(page->settingsColumn()));
    page->chooseLanguage("fr");
    EXPECT_EQ(settings.storedString("selectedLanguage"), "fr");
    EXPECT_TRUE(page->translationToggle()->isEnabledTo(page->settingsColumn()));
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_EQ(page->panelTitle()->text(), "Download Standard model");
    EXPECT_FALSE(settings.contains("activeModelKey"));
}

TEST_F(ModelConfigTest, OldEnglishOnlyKeyIsStrippedOnLanguageChange) {
    settings.setString("activeModelKey", "base.en");
    addModelFile("base.en", "en");  // an old file name for the old key
    addModelFile("base", "fr");
    auto page = make();
    page->chooseLanguage("fr");
    EXPECT_EQ(page->selectedModelKey(), "base");
    EXPECT_EQ(settings.storedString("activeModelKey"), "base");
    EXPECT_FALSE(page->showModelDownloadAlert());
}

TEST_F(ModelConfigTest, ShowingThePageWithAMissingActiveModelOpensThePanel) {
    settings.setString("activeModelKey", "medium");
    auto page = make();
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_TRUE(navigationDisabled);
    EXPECT_EQ(page->panelTitle()->text(), "Download Pro model");
}

TEST_F(ModelConfigTest, ShowingThePageWithoutTheDefaultModelOffersItsDownload) {
    // A first start without network: nothing is stored and the default model's file is missing.
    auto page = make();
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_EQ(page->panelTitle()->text(), "Download Standard model");
    EXPECT_TRUE(page->downloadButton()->isEnabled());
    page->cancelModelDownload();
    // The picker still shows the model, so the page says that its file is missing and offers it again.
    EXPECT_FALSE(page->showModelDownloadAlert());
    EXPECT_EQ(page->modelPicker()->currentData().toString(), "small");
    EXPECT_TRUE(page->missingModelNotice()->isVisibleTo(page.get()));
    page->missingModelDownloadButton()->click();
    EXPECT_TRUE(page->showModelDownloadAlert());
    EXPECT_FALSE(page->missingModelNotice()->isVisibleTo(page.get()));
    page->cancelModelDownload();
    page->chooseModel("small");  // choosing it again offers it again
    EXPECT_TRUE(page->showModelDownloadAlert());

    // Once the file is there, nothing is missing.
    addModelFile("small", "en");
    page->cancelModelDownload();
    EXPECT_FALSE(page->missingModelNotice()->isVisibleTo(page.get()));
}

TEST_F(ModelConfigTest, DownloadDoesNothingWhenTheFileAppeared) {
    addModelFile("small", "en");
    auto page = make();
    page->chooseModel("tiny");
    addModelFile("tiny", "en");
    page->startModelDownload();
    EXPECT_EQ(page->fileDownloader()->downloadTask(), nullptr);
    EXPECT_TRUE(page->downloadButton()->isEnabled());
}

TEST_F(ModelConfigTest, ControlsWriteTheirKeys) {
    addModelFile("small", "en");
    auto page = make();
    const auto type = [&](Qt::Key key, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::sendEvent(page->promptField(), &press);
    };
    type(Qt::Key_A, "A");
    type(Qt::Key_D, "d");
    EXPECT_TRUE(vctest::waitFor([&] { return settings.storedString("activePrompt") == "Ad"; }));
    type(Qt::Key_Backspace, "");
    type(Qt::Key_Backspace, "");
    EXPECT_TRUE(vctest::waitFor([&] { return settings.storedString("activePrompt") == ""; }));
    page->punctuationToggle()->click();
    EXPECT_EQ(settings.storedBool("enableLiteralPunctuation"), true);
    EXPECT_EQ(page->languagePicker()->count(), 100);
    EXPECT_EQ(page->languagePicker()->currentText(), "English");
}

TEST_F(ModelConfigTest, ModelPickerShowsTheWholeRowWithItsSize) {
    addModelFile("small", "en");
    auto page = make();
    page->show();
    QComboBox* picker = page->modelPicker();
    QStyleOptionComboBox option;
    option.initFrom(picker);
    const QRect textArea = picker->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField,
                                                           picker);
    for (int i = 0; i < picker->count(); ++i) {
        EXPECT_LE(picker->fontMetrics().horizontalAdvance(picker->itemText(i)), textArea.width())
            << picker->itemText(i).toStdString();
    }
    EXPECT_GE(picker->width(), 285 - 6);
}

TEST_F(ModelConfigTest, PromptFieldGrowsToThreeLinesAndTakesNoNewLine) {
    addModelFile("small", "en");
    auto page = make();
    page->show();
    PromptField* field = page->promptField();
    const int oneLine = field->height();
    EXPECT_EQ(field->visibleLineCount(), 1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(field, &enter);
    EXPECT_EQ(field->text(), "");

    QString text;
    int previous = oneLine;
    for (int lines = 2; lines <= 3; ++lines) {
        while (field->visibleLineCount() < lines) {
            text += "Place names ";
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "Place names ");
            QCoreApplication::sendEvent(field, &press);
        }
        EXPECT_GT(field->height(), previous);
        previous = field->height();
    }
    EXPECT_TRUE(vctest::waitFor([&] { return settings.storedString("activePrompt") == text.toStdString(); }));
    for (int i = 0; i < 20; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "more words ");
        QCoreApplication::sendEvent(field, &press);
    }
    EXPECT_EQ(field->visibleLineCount(), PromptField::lineLimit);
    EXPECT_EQ(field->height(), previous);

    // A value written elsewhere shows without being written back.
    page->savePrompt();
    settings.setString("activePrompt", "Short");
    EXPECT_EQ(field->text(), "Short");
    EXPECT_EQ(field->height(), oneLine);
}

// The settings file is written once the keys pause, not once per key; what was typed just before the page goes (the
// application quits) is stored all the same.
TEST_F(ModelConfigTest, ABurstOfKeysIsOneWriteAndTextTypedLastIsStoredWhenThePageGoes) {
    addModelFile("small", "en");
    auto page = make();
    const fs::path file = settings.file();
    fs::create_directories(file.parent_path());
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(watch, file.parent_path().c_str(), IN_MOVED_TO), 0);
    const auto type = [&](const QString& text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, text);
        QCoreApplication::sendEvent(page->promptField(), &press);
    };
    for (const QChar c : QString("Names: Ana, Olek")) type(c);
    ASSERT_TRUE(vctest::waitFor([&] { return settings.storedString("activePrompt") == "Names: Ana, Olek"; }));
    int writes = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len && file.filename() == event->name) ++writes;
            at += sizeof(inotify_event) + event->len;
        }
    }
    close(watch);
    EXPECT_EQ(writes, 1);

    type("!");
    page.reset();
    EXPECT_EQ(SettingsStore(file).storedString("activePrompt"), "Names: Ana, Olek!");
}

// Neither a paste nor typing takes the field past its bound, so that the prompt always fits the settings file and a
// dictation's record; a pasted book never reaches the field's document (laying it out would stall the page). A longer
// prompt stored elsewhere shows its end, which is what the recognizer uses.
TEST_F(ModelConfigTest, ThePromptFieldTakesNoMoreThanItsBound) {
    addModelFile("small", "en");
    auto page = make();
    PromptField* field = page->promptField();
    int mostHeld = 0;  // the most characters the document held after any change
    QObject::connect(field->document(), &QTextDocument::contentsChange, [&](int, int, int) {
        mostHeld = std::max(mostHeld, field->document()->characterCount() - 1);  // less the last block's end
    });
    QGuiApplication::clipboard()->setText(QString(1200000, QChar('p')));  // 1.2 MB
    field->paste();
    EXPECT_EQ(field->text().size(), PromptField::maxLength);
    EXPECT_EQ(mostHeld, PromptField::maxLength) << "the paste reached the document whole";
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::sendEvent(field, &press);
    EXPECT_EQ(field->text(), QString(PromptField::maxLength, QChar('p')));
    page->savePrompt();
    EXPECT_EQ(SettingsStore(settings.file()).storedString("activePrompt"), std::string(PromptField::maxLength, 'p'));

    settings.setString("activePrompt", std::string(5000, 'x') + " end");
    EXPECT_EQ(field->text().size(), PromptField::maxLength);
    EXPECT_TRUE(field->text().endsWith("x end"));
}

TEST_F(ModelConfigTest, PanelTextsAreCentredBlocksOfLeftAlignedLines) {
    addModelFile("small", "en");
    auto page = make();
    page->show();
    page->chooseModel("medium");
    QCoreApplication::processEvents();  // the panel's layout follows its new texts
    for (const TextBlock* text : {page->panelTitle(), page->panelMessage()}) {
        EXPECT_NEAR(text->geometry().center().x(), page->downloadPanel()->width() / 2, 1);
        EXPECT_LE(text->width(), 350);
        EXPECT_FALSE(text->isTruncated());
    }
    // The message's own line feeds, then lines wrapped within the panel.
    const QStringList lines = page->panelMessage()->visibleLines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines.first().startsWith("This could take a long time"));
    const qsizetype blank = lines.indexOf("");
    ASSERT_GE(blank, 0);
    EXPECT_TRUE(lines[blank + 1].startsWith("Make sure you have at least 1.53 GB")) << lines[blank + 1].toStdString();
}

}  // namespace
