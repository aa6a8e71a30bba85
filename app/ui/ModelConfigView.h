#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "engine/Model.h"
#include "platform/SettingsStore.h"
#include "ui/Binding.h"

class FileDownloader;
class QCheckBox;
class QComboBox;
class QGraphicsBlurEffect;
class QLabel;
class PromptField;
class QProgressBar;
class QTimer;
class StyledButton;
class TextBlock;

// The "AI Model" page: model, language, translation, prompt and literal punctuation. Language, translation and
// punctuation are written to their settings keys at once, the prompt when the typing pauses (and when the page goes). A model whose file is missing is never made active
// directly: choosing it opens the in-page download panel (over the blurred, disabled settings, with the window's tabs
// locked through `navigationDisabled`), and the model becomes active when the user presses "Done" after the download.
// A panel opened while its file is being fetched already (by start-up) shows that download; "Cancel" closes the panel
// and lets that download go on, and the page stops saying "Not downloaded" when it has brought the file.
//
// The two change handlers run after the operation that changed their value has finished, for every change, the page's
// own writes included.
//
// The page's own state (the picker's selection, the panel) lasts while it is on screen: each time the kept settings
// window shows it again it starts afresh from the active model, as at its first showing, unless a download of the
// panel is still running (the panel then stays, so that the transfer is not lost).
class ModelConfigView : public QWidget {
    Q_OBJECT

public:
    using DownloaderFactory = std::function<std::unique_ptr<FileDownloader>()>;

    // `makeDownloader` gives the downloader of each opening of the panel, so that every opening starts at progress 0.
    ModelConfigView(Binding<bool> navigationDisabled, DownloaderFactory makeDownloader = {},
                    SettingsStore& settings = SettingsStore::standard(), QWidget* parent = nullptr);
    ~ModelConfigView() override;

    const std::string& selectedModelKey() const { return selectedModelKey_; }
    bool showModelDownloadAlert() const { return showModelDownloadAlert_; }
    // The downloader of the open panel, or null.
    FileDownloader* fileDownloader() const { return downloader_.get(); }
    // The catalogue row the panel is about: the selected one, or the default row for an unknown key.
    const Model& panelModel() const;
    // The picker text of a catalogue row, e.g. "Standard (5x speed, medium accuracy, 487 MB)".
    static QString pickerText(const Model& model);

    // The user's choices, as the controls make them.
    void chooseModel(const std::string& key);
    void chooseLanguage(const std::string& id);

    void cancelModelDownload();
    void startModelDownload();
    void modelDownloadFinished();

    QComboBox* modelPicker() const { return models_; }
    // Under the picker while the panel is closed and the selected model's file is missing (after "Cancel"), with a
    // button that opens the panel again.
    QWidget* missingModelNotice() const { return missingModel_; }
    StyledButton* missingModelDownloadButton() const { return missingModelDownload_; }
    QComboBox* languagePicker() const { return languages_; }
    QCheckBox* translationToggle() const { return translation_; }
    PromptField* promptField() const { return prompt_; }
    // Stores the prompt field's text now, rather than when the typing pauses.
    void savePrompt();
    QCheckBox* punctuationToggle() const { return punctuation_; }
    QWidget* settingsColumn() const { return column_; }
    // The blurred picture of the column that the open panel lies over.
    QLabel* blurredColumn() const { return blurredColumn_; }
    QWidget* downloadPanel() const { return panel_; }
    TextBlock* panelTitle() const { return panelTitle_; }
    TextBlock* panelMessage() const { return panelMessage_; }
    QProgressBar* progressBar() const { return progress_; }
    // Why the last download failed; hidden while there is no failure to show.
    QLabel* downloadErrorLabel() const { return panelError_; }
    StyledButton* cancelButton() const { return cancel_; }
    StyledButton* downloadButton() const { return download_; }
    StyledButton* doneButton() const { return done_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::string selectedLanguage() const;
    std::string activeModelKey() const;
    bool isSelectedModelDownloaded() const;
    std::filesystem::path selectedModelFile() const;

    void setSelectedModelKey(const std::string& key);
    void setSelectedLanguage(const std::string& id);
    void setShowModelDownloadAlert(bool show);
    void runChangeHandlers();

    void selectModel(const std::string& key);
    void syncModelSelection();
    void resyncOnShow();
    void modelSelectionChanged();
    void languageSelectionChanged();
    void resetModelSelection();

    void languageStored(const QString& key);
    void updateControls();
    // While the selected model's file is missing and the panel closed: follows a download of that file, if one runs.
    void followMissingModelDownload(bool missing);
    void updatePanel();
    void showBlurredColumn();

    Binding<bool> navigationDisabled_;
    DownloaderFactory makeDownloader_;
    SettingsStore& settings_;

    std::string selectedModelKey_ = "small";
    std::string seenLanguage_;
    bool showModelDownloadAlert_ = false;
    bool modelChangePending_ = false;
    bool languageChangePending_ = false;
    bool runningHandlers_ = false;
    bool hiddenSinceShown_ = false;
    bool grabbingColumn_ = false;
    std::unique_ptr<FileDownloader> downloader_;
    bool downloadStarted_ = false;
    bool downloadJoined_ = false;  // the panel shows a download that it did not start
    std::unique_ptr<FileDownloader> missingModelFetch_;
    float downloadProgress_ = 0.0f;  // as the downloader last published it
    QString downloadError_;          // as the downloader last published it

    QWidget* column_;
    QLabel* blurredColumn_;
    QGraphicsBlurEffect* blur_;
    QComboBox* models_;
    QWidget* missingModel_;
    StyledButton* missingModelDownload_;
    QComboBox* languages_;
    QCheckBox* translation_;
    PromptField* prompt_;
    QTimer* promptSave_;  // runs while the prompt field holds text not yet stored
    QCheckBox* punctuation_;
    QWidget* panel_;
    TextBlock* panelTitle_;
    TextBlock* panelMessage_;
    QProgressBar* progress_;
    QLabel* panelSize_;
    QLabel* panelError_;
    StyledButton* cancel_;
    StyledButton* download_;
    StyledButton* done_;
};
