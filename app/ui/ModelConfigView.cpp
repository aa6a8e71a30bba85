#include "ui/ModelConfigView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGraphicsBlurEffect>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "engine/FileDownloader.h"
#include "engine/Language.h"
#include "ui/FontRole.h"
#include "ui/InfoButtonView.h"
#include "ui/PrimaryButtonStyle.h"
#include "ui/PromptField.h"
#include "ui/SecondaryButtonStyle.h"
#include "ui/SettingsRow.h"
#include "ui/StyledButton.h"
#include "ui/TertiaryButtonStyle.h"
#include "ui/TextBlock.h"

namespace {


constexpr int panelWidth = 350;
// How long the prompt field waits for the next key before its text is stored.
constexpr int promptSaveDelay = 400;
constexpr const char* languageKey = "selectedLanguage";
constexpr const char* promptKey = "activePrompt";
constexpr const char* activeModelKeyKey = "activeModelKey";
constexpr const char* translationKey = "enableTranslation";
constexpr const char* punctuationKey = "enableLiteralPunctuation";

QString q(const std::string& text) { return QString::fromStdString(text); }

// Lays out `widget` and everything in it at once, innermost first, rather than when the posted requests come round.
void layOutNow(QWidget* widget) {
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) layOutNow(child);
    if (widget->layout()) widget->layout()->activate();
}

// Every ".en" removed, left to right in one pass.
std::string withoutEnglishSuffix(std::string key) {
    for (std::size_t at = key.find(".en"); at != std::string::npos; at = key.find(".en", at)) key.erase(at, 3);
    return key;
}

}  // namespace

QString ModelConfigView::pickerText(const Model& model) {
    return tr("%1 (%2 speed, %3 accuracy, %4)").arg(q(model.name), q(model.speed), q(model.accuracy), q(model.size));
}

ModelConfigView::ModelConfigView(Binding<bool> navigationDisabled, DownloaderFactory makeDownloader,
                                 SettingsStore& settings, QWidget* parent)
    : QWidget(parent),
      navigationDisabled_(std::move(navigationDisabled)),
      makeDownloader_(makeDownloader ? std::move(makeDownloader)
                                     : DownloaderFactory([] { return std::make_unique<FileDownloader>(); })),
      settings_(settings),
      column_(new QWidget(this)),
      blurredColumn_(new QLabel(this)),
      blur_(new QGraphicsBlurEffect(this)) {
    // The settings column.
    models_ = new QComboBox(column_);
    for (const Model& model : models()) models_->addItem(pickerText(model), q(model.id));
    // Wide enough for the longest row with its size.
    models_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(models_, &QComboBox::activated, this,
            [this](int index) { chooseModel(models_->itemData(index).toString().toStdString()); });
    missingModel_ = new QWidget(column_);
    auto* missingModelRow = new QHBoxLayout(missingModel_);
    missingModelRow->setContentsMargins(0, 0, 0, 0);
    missingModelRow->addWidget(new QLabel(tr("Not downloaded"), missingModel_));
    missingModelDownload_ = StyledButton::make<TertiaryButtonStyle>(tr("Download..."), false, missingModel_);
    connect(missingModelDownload_, &QAbstractButton::clicked, this, [this] { selectModel(selectedModelKey_); });
    missingModelRow->addWidget(missingModelDownload_);
    missingModelRow->addStretch();
    auto* modelControls = new QVBoxLayout;
    modelControls->setSpacing(10);
    modelControls->addWidget(models_);
    modelControls->addWidget(missingModel_);

    languages_ = new QComboBox(column_);
    for (const Language& language : languages()) languages_->addItem(q(language.name), q(language.id));
    languages_->setMaxVisibleItems(15);
    connect(languages_, &QComboBox::activated, this,
            [this](int index) { chooseLanguage(languages_->itemData(index).toString().toStdString()); });
    translation_ = new QCheckBox(tr("Translate to English"), column_);
    connect(translation_, &QCheckBox::toggled, this, [this](bool on) { settings_.setBool(translationKey, on); });
    auto* languageControls = new QVBoxLayout;
    languageControls->setSpacing(10);
    languageControls->addWidget(languages_);
    languageControls->addWidget(translation_);

    prompt_ = new PromptField(column_);
    prompt_->setPlaceholderText(tr("Provide context to the model"));
    prompt_->setFixedWidth(275);
    // Every edit is stored, an emptied field as the empty text: once the typing pauses, so that a burst of keys is
    // one write of the settings file, and at the latest when the page goes (the application quits).
    promptSave_ = new QTimer(this);
    promptSave_->setSingleShot(true);
    promptSave_->setInterval(promptSaveDelay);
    connect(promptSave_, &QTimer::timeout, this, &ModelConfigView::savePrompt);
    connect(prompt_, &PromptField::edited, promptSave_, qOverload<>(&QTimer::start));
    auto* promptControls = new QHBoxLayout;
    promptControls->addWidget(prompt_);
    promptControls->addWidget(new InfoButtonView(
        tr("You can use the prompt to give unique spelling of names, set tone or context, or location based "
           "spelling.\n\nWe recommend giving it proper nouns (people, companies, places, etc) you commonly use.\n\n"
           "For example: 'I am First Last, I work at Company, in Place.'"),
        column_));

    punctuation_ = new QCheckBox(tr("Enable literal punctuation"), column_);
    connect(punctuation_, &QCheckBox::toggled, this, [this](bool on) { settings_.setBool(punctuationKey, on); });
    auto* punctuationRow = new QHBoxLayout;
    punctuationRow->addWidget(punctuation_);
    punctuationRow->addWidget(new InfoButtonView(
        tr("When enabled, only punctuation you dictate will be written. For example, say 'question mark' to have a "
           "'?' appear. \n\n Keep in mind this will remove any punctuation put into the result by the model."),
        column_));
    punctuationRow->addStretch();
    auto* punctuationControls = new QVBoxLayout;
    punctuationControls->setSpacing(10);
    punctuationControls->addLayout(punctuationRow);

    auto* rows = new QVBoxLayout(column_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(24);
    rows->addWidget(new SettingsRow(tr("AI Model"), modelControls, SettingsRow::Width::FramedOrWider, column_));
    rows->addWidget(new SettingsRow(tr("Language"), languageControls, SettingsRow::Width::Framed, column_));
    rows->addWidget(new SettingsRow(tr("Prompt"), promptControls, SettingsRow::Width::Free, column_));
    rows->addWidget(new SettingsRow(tr("Punctuation"), punctuationControls, SettingsRow::Width::Framed, column_));
    // While the panel is open the column shows as a blurred picture of itself: a blur drawn over the live column would
    // tear where a child paints on its own (the prompt field's text area).
    blur_->setBlurRadius(10);
    blurredColumn_->setGraphicsEffect(blur_);
    blurredColumn_->hide();
    QSizePolicy keepsItsPlace = column_->sizePolicy();
    keepsItsPlace.setRetainSizeWhenHidden(true);
    column_->setSizePolicy(keepsItsPlace);

    // The download panel, over the column.
    panel_ = new QWidget(this);
    panel_->setFixedWidth(panelWidth);
    // Centred blocks of left-aligned lines, wrapped within the panel.
    panelTitle_ = new TextBlock(QString(), panel_);
    panelTitle_->setFont(fontFor(FontRole::Title2));
    panelTitle_->setWrapWidth(panelWidth);
    panelMessage_ = new TextBlock(QString(), panel_);
    panelMessage_->setWrapWidth(panelWidth);
    progress_ = new QProgressBar(panel_);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    panelSize_ = new QLabel(panel_);
    QFont sizeFont = panelSize_->font();
    sizeFont.setPixelSize(10);
    panelSize_->setFont(sizeFont);
    panelError_ = new QLabel(panel_);
    panelError_->setWordWrap(true);
    panelError_->setAlignment(Qt::AlignCenter);
    panelError_->setStyleSheet(QStringLiteral("color: #c62828;"));
    panelError_->hide();
    auto* progressStack = new QVBoxLayout;
    progressStack->setSpacing(0);
    progressStack->addWidget(progress_);
    progressStack->addWidget(panelSize_, 0, Qt::AlignRight);
    cancel_ = StyledButton::make<SecondaryButtonStyle>(tr("Cancel"), false, panel_);
    download_ = StyledButton::make<PrimaryButtonStyle>(tr("Download"), false, panel_);
    done_ = StyledButton::make<PrimaryButtonStyle>(tr("Done"), false, panel_);
    connect(cancel_, &QAbstractButton::clicked, this, &ModelConfigView::cancelModelDownload);
    connect(download_, &QAbstractButton::clicked, this, &ModelConfigView::startModelDownload);
    connect(done_, &QAbstractButton::clicked, this, &ModelConfigView::modelDownloadFinished);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    buttons->addWidget(download_);
    buttons->addWidget(done_);
    buttons->addStretch();
    auto* panelStack = new QVBoxLayout(panel_);
    panelStack->setContentsMargins(0, 0, 0, 0);
    panelStack->setSpacing(8);
    panelStack->addWidget(panelTitle_, 0, Qt::AlignHCenter);
    panelStack->addWidget(panelMessage_, 0, Qt::AlignHCenter);
    // In the message's place while there is a failure to show, so that the panel keeps its size.
    panelStack->addWidget(panelError_);
    panelStack->addLayout(progressStack);
    panelStack->addLayout(buttons);

    auto* layers = new QGridLayout(this);
    layers->setContentsMargins(0, 0, 0, 0);
    layers->addWidget(column_, 0, 0, Qt::AlignCenter);
    layers->addWidget(blurredColumn_, 0, 0, Qt::AlignCenter);
    layers->addWidget(panel_, 0, 0, Qt::AlignCenter);
    panel_->hide();

    seenLanguage_ = selectedLanguage();
    connect(&settings_, &SettingsStore::valueChanged, this, &ModelConfigView::languageStored);
    updateControls();
    syncModelSelection();
}

ModelConfigView::~ModelConfigView() {
    if (promptSave_->isActive()) savePrompt();
}

void ModelConfigView::savePrompt() {
    promptSave_->stop();
    settings_.setString(promptKey, prompt_->text().toStdString());
}

std::string ModelConfigView::selectedLanguage() const { return settings_.stringValue(languageKey, "en"); }

std::string ModelConfigView::activeModelKey() const { return settings_.stringValue(activeModelKeyKey, "small"); }

bool ModelConfigView::isSelectedModelDownloaded() const {
    return isModelDownloaded(selectedModelKey_, selectedLanguage());
}

std::filesystem::path ModelConfigView::selectedModelFile() const {
    return modelsFolderURL() / modelFileName(selectedModelKey_, selectedLanguage());
}

const Model& ModelConfigView::panelModel() const {
    for (const Model& model : models())
        if (model.id == selectedModelKey_) return model;
    return defaultModel();
}

void ModelConfigView::setSelectedModelKey(const std::string& key) {
    if (key == selectedModelKey_) return;
    selectedModelKey_ = key;
    modelChangePending_ = true;
}

void ModelConfigView::setSelectedLanguage(const std::string& id) {
    // Marked before the write, so that the store's change signal does not run the handler in the middle of an
    // operation.
    if (id != seenLanguage_) {
        seenLanguage_ = id;
        languageChangePending_ = true;
    }
    settings_.setString(languageKey, id);
}

void ModelConfigView::languageStored(const QString& key) {
    if (key == QLatin1String(promptKey) || key == QLatin1String(translationKey) ||
        key == QLatin1String(punctuationKey) || key == QLatin1String(activeModelKeyKey)) {
        updateControls();
        return;
    }
    if (key != QLatin1String(languageKey)) return;
    // A language written elsewhere runs the handler like a choice made here.
    const std::string language = selectedLanguage();
    if (language == seenLanguage_) return;
    seenLanguage_ = language;
    languageChangePending_ = true;
    runChangeHandlers();
}

void ModelConfigView::runChangeHandlers() {
    // Handlers change values themselves; their changes run the handlers again once they return.
    if (runningHandlers_) return;
    runningHandlers_ = true;
    while (modelChangePending_ || languageChangePending_) {
        if (modelChangePending_) {
            modelChangePending_ = false;
            modelSelectionChanged();
        } else {
            languageChangePending_ = false;
            languageSelectionChanged();
        }
    }
    runningHandlers_ = false;
    updateControls();
}

void ModelConfigView::setShowModelDownloadAlert(bool show) {
    if (show == showModelDownloadAlert_) return;
    showModelDownloadAlert_ = show;
    if (show) {
        // A new downloader for every opening, so the panel always starts at progress 0.
        downloader_ = makeDownloader_();
        downloadError_.clear();
        connect(downloader_.get(), &FileDownloader::downloadProgressChanged, this, [this](float progress) {
            downloadProgress_ = progress;
            updatePanel();
        });
        // A failed download is shown, and "Download" tries again.
        connect(downloader_.get(), &FileDownloader::downloadFailed, this, [this](const QString& error) {
            downloadError_ = error;
            downloadStarted_ = false;
            updatePanel();
        });
        // A download of the file that runs already (the one start-up began) is shown, not started a second time.
        downloadJoined_ = downloader_->joinRunningDownload(selectedModelFile());
        downloadStarted_ = downloadJoined_;
        downloadProgress_ = downloader_->downloadProgress();
    } else {
        downloader_.reset();
    }
}

void ModelConfigView::chooseModel(const std::string& key) { selectModel(key); }

void ModelConfigView::selectModel(const std::string& key) {
    setSelectedModelKey(key);
    // A model without its file offers the download even when it is the selection already, as the default model is
    // on a first start without network.
    if (!isSelectedModelDownloaded()) modelChangePending_ = true;
    runChangeHandlers();
}

void ModelConfigView::chooseLanguage(const std::string& id) {
    setSelectedLanguage(id);
    runChangeHandlers();
}

void ModelConfigView::syncModelSelection() { selectModel(activeModelKey()); }

void ModelConfigView::resyncOnShow() {
    const bool downloading = downloader_ && downloadStarted_ && downloadProgress_ < 1.0f;
    if (downloading) return;
    // The state a new page starts with; no handler runs for it.
    selectedModelKey_ = defaultModel().id;
    modelChangePending_ = false;
    setShowModelDownloadAlert(false);
    navigationDisabled_.set(false);
    syncModelSelection();
}

void ModelConfigView::showEvent(QShowEvent* event) {
    // Minimising and restoring the window are not the page coming on screen again.
    if (!event->spontaneous() && hiddenSinceShown_) resyncOnShow();
    hiddenSinceShown_ = false;
    QWidget::showEvent(event);
    showBlurredColumn();
}

void ModelConfigView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    showBlurredColumn();
}

void ModelConfigView::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) hiddenSinceShown_ = true;
    QWidget::hideEvent(event);
}

void ModelConfigView::modelSelectionChanged() {
    if (isSelectedModelDownloaded()) {
        settings_.setString(activeModelKeyKey, selectedModelKey_);
        return;
    }
    setShowModelDownloadAlert(true);
    navigationDisabled_.set(true);
}

void ModelConfigView::languageSelectionChanged() {
    setSelectedModelKey(withoutEnglishSuffix(selectedModelKey_));
    if (isSelectedModelDownloaded()) return;
    setShowModelDownloadAlert(true);
    navigationDisabled_.set(true);
}

void ModelConfigView::resetModelSelection() {
    setSelectedModelKey(defaultModel().id);
    if (!isSelectedModelDownloaded()) setSelectedLanguage("en");
}

void ModelConfigView::cancelModelDownload() {
    resetModelSelection();
    // Only the panel's own download ends here; one that it merely showed (start-up's) goes on.
    if (downloader_ && downloader_->downloadTask() && !downloadJoined_) downloader_->downloadTask()->cancel();
    setShowModelDownloadAlert(false);
    navigationDisabled_.set(false);
    runChangeHandlers();
}

void ModelConfigView::startModelDownload() {
    if (!downloader_ || isSelectedModelDownloaded()) return;
    const std::string fileName = modelFileName(selectedModelKey_, selectedLanguage());
    downloadError_.clear();
    downloadJoined_ = downloader_->joinRunningDownload(selectedModelFile());
    if (!downloadJoined_) downloader_->download(modelRepositoryBaseURL() + fileName, selectedModelFile());
    downloadStarted_ = true;
    updatePanel();
}

void ModelConfigView::modelDownloadFinished() {
    settings_.setString(activeModelKeyKey, selectedModelKey_);
    setShowModelDownloadAlert(false);
    navigationDisabled_.set(false);
    runChangeHandlers();
}

void ModelConfigView::updateControls() {
    {
        const QSignalBlocker block(models_);
        models_->setCurrentIndex(models_->findData(q(selectedModelKey_)));
    }
    const std::string language = selectedLanguage();
    {
        const QSignalBlocker block(languages_);
        languages_->setCurrentIndex(languages_->findData(q(language)));
    }
    {
        const QSignalBlocker block(translation_);
        translation_->setChecked(settings_.boolValue(translationKey, false));
    }
    // Disabled for English; the stored value stays as it is.
    translation_->setEnabled(language != "en");
    const QString prompt = q(settings_.stringValue(promptKey, ""));
    // Text typed and not yet saved stays; it is stored in a moment.
    if (!promptSave_->isActive() && prompt_->text() != prompt) prompt_->setText(prompt);
    {
        const QSignalBlocker block(punctuation_);
        punctuation_->setChecked(settings_.boolValue(punctuationKey, false));
    }

    // A selected model without its file cannot be used: the page says so rather than look installed.
    const bool missing = !showModelDownloadAlert_ && !isSelectedModelDownloaded();
    missingModel_->setVisible(missing);
    followMissingModelDownload(missing);
    column_->setEnabled(!showModelDownloadAlert_);
    panel_->setVisible(showModelDownloadAlert_);
    showBlurredColumn();
    if (showModelDownloadAlert_) updatePanel();
}

void ModelConfigView::followMissingModelDownload(bool missing) {
    if (!missing) {
        missingModelFetch_.reset();
        return;
    }
    if (!missingModelFetch_) {
        missingModelFetch_ = makeDownloader_();
        connect(missingModelFetch_.get(), &FileDownloader::downloadProgressChanged, this, [this](float progress) {
            // Queued: updating lets this downloader go, which must not happen while it is speaking.
            if (progress >= 1.0f) {
                QMetaObject::invokeMethod(this, &ModelConfigView::updateControls, Qt::QueuedConnection);
            }
        });
    }
    missingModelFetch_->joinRunningDownload(selectedModelFile());
}

void ModelConfigView::showBlurredColumn() {
    // Taking the picture lays the page out, which comes back here.
    if (grabbingColumn_) return;
    grabbingColumn_ = true;
    if (showModelDownloadAlert_) {
        // As the column is laid out now, not as it was when it was last shown.
        layOutNow(column_);
        layout()->activate();
        // The controls alone, over whatever the window shows behind them.
        const qreal ratio = devicePixelRatioF();
        QPixmap picture(column_->size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        column_->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        blurredColumn_->setPixmap(picture);
    }
    // The picture stands in the column's place, which the hidden column keeps.
    blurredColumn_->setVisible(showModelDownloadAlert_);
    column_->setVisible(!showModelDownloadAlert_);
    panel_->raise();
    grabbingColumn_ = false;
}

void ModelConfigView::updatePanel() {
    const Model& model = panelModel();
    panelTitle_->setText(tr("Download %1 model").arg(q(model.name)));
    panelMessage_->setText(tr("This could take a long time and will use data if you're not on Wi-Fi.\n\nMake sure you "
                              "have at least %1 of storage available and a stable connection before continuing.")
                               .arg(q(model.size)));
    panelSize_->setText(q(model.size));

    // A progress that is not a number counts as nothing received.
    float progress = downloadProgress_;
    if (!std::isfinite(progress)) progress = 0.0f;
    // Bytes received show however few they are: a page opened just after a download began (start-up's, say) shows
    // it as begun, not as an empty bar.
    const int step = static_cast<int>(std::lround(std::clamp(progress, 0.0f, 1.0f) * 1000));
    progress_->setValue(progress > 0.0f ? std::max(step, 1) : step);

    const bool complete = progress == 1.0f;
    cancel_->setStyleDisabled(complete);
    cancel_->setEnabled(!complete);
    const bool finished = !(progress < 1.0f);
    download_->setVisible(!finished);
    done_->setVisible(finished);
    panelError_->setText(tr("The download failed: %1\n\nPress Download to try again.").arg(downloadError_));
    panelError_->setVisible(!downloadError_.isEmpty());
    panelMessage_->setVisible(downloadError_.isEmpty());
    // Once started, "Download" stays off even while the progress is unknown: a second press would start a second
    // transfer into the same file. A failure ends the transfer, so it turns "Download" on again.
    const bool downloading = downloadError_.isEmpty() && (progress > 0.0f || downloadStarted_);
    download_->setStyleDisabled(downloading);
    download_->setEnabled(!downloading);
}
