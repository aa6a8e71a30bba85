#include "ui/RecordingDetail.h"

#include "engine/CopyToPasteboard.h"
#include "engine/Language.h"
#include "engine/WavSoundSource.h"
#include "platform/AppLog.h"
#include "platform/PulseSoundPlayer.h"
#include "platform/QtRepeatingTimer.h"
#include "ui/FontRole.h"
#include "ui/HistorySymbol.h"
#include "ui/IconButtonStyle.h"
#include "ui/PanelBackground.h"
#include "ui/RecordingPlayback.h"
#include "ui/RecordingTextFormat.h"
#include "ui/RecordingWaveform.h"
#include "ui/RecordingWaveformView.h"
#include "ui/StyledButton.h"
#include "ui/TertiaryButtonStyle.h"
#include "ui/TextBlock.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

void setOpacity(QWidget* text, qreal opacity) {
    QPalette palette = text->palette();
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(opacity);
    palette.setColor(QPalette::WindowText, colour);
    text->setPalette(palette);
}

QLabel* plainLabel(FontRole role, QWidget* parent) {
    auto* label = new QLabel(parent);
    // Texts from the record are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setFont(fontFor(role));
    return label;
}

// A text from the record on one line: cut with an ellipsis where it does not fit, however long it is.
TextBlock* recordLine(FontRole role, QWidget* parent) {
    auto* text = new TextBlock(QString(), parent);
    text->setWordWrap(false);
    text->setFont(fontFor(role));
    return text;
}

// One of the three panels: the translucent rounded card with a caption header; the caller fills `content`.
class DetailPanel : public QWidget {
public:
    DetailPanel(const QString& header, QWidget* parent) : QWidget(parent) {
        content = new QVBoxLayout(this);
        content->setContentsMargins(20, 10, 20, 20);
        headerRow = new QHBoxLayout;
        auto* title = plainLabel(FontRole::Caption, this);
        title->setText(header);
        setOpacity(title, 0.3);
        headerRow->addWidget(title);
        content->addLayout(headerRow);
    }

    QVBoxLayout* content;
    QHBoxLayout* headerRow;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        PanelBackground::paint(painter, PanelBackground::cardRect(rect()), PanelBackground::isDark(palette()));
    }
};

// A configuration row: a secondary-coloured symbol in a 20-point column, then the value in title3; the label of the
// row is its tooltip.
QWidget* configurationRow(const QString& symbol, const QString& tooltip, QWidget* value, QWidget* parent) {
    auto* row = new QWidget(parent);
    row->setToolTip(tooltip);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel(row);
    QColor secondary = row->palette().color(QPalette::WindowText);
    secondary.setAlphaF(0.5);
    icon->setPixmap(HistorySymbol::pixmap(symbol, 16, secondary, row->devicePixelRatioF()));
    icon->setFixedWidth(20);
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    // Values stay on one line.
    value->setParent(row);
    layout->addWidget(value, 1);
    layout->setSpacing(8);
    return row;
}

}  // namespace

RecordingDetail::RecordingDetail(const Recording& recording, QWidget* parent, SoundPlayer::Factory makePlayer,
                                 RepeatingTimer::Factory makeTimer)
    : QWidget(parent), recording_(recording) {
    if (!makePlayer) {
        makePlayer = [](const std::filesystem::path& file) -> std::unique_ptr<SoundPlayer> {
            return std::make_unique<PulseSoundPlayer>(WavSoundSource::file(file));
        };
    }
    if (!makeTimer) makeTimer = &QtRepeatingTimer::make;
    playback_ = new RecordingPlayback(std::move(makePlayer), std::move(makeTimer), this);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    // RECORDING
    auto* recordingPanel = new DetailPanel(tr("RECORDING"), this);
    auto* row = new QHBoxLayout;
    playButton_ = StyledButton::make<IconButtonStyle>(QString(), false, recordingPanel);
    playButton_->setIconSize(QSize(26, 26));
    waveform_ = new RecordingWaveformView(recordingPanel);
    duration_ = plainLabel(FontRole::Body, recordingPanel);
    row->addWidget(playButton_);
    row->addStretch(1);
    row->addWidget(waveform_);
    row->addStretch(1);
    row->addWidget(duration_);
    recordingPanel->content->addLayout(row);
    // Shown only while the last playback could not play.
    playbackProblem_ = plainLabel(FontRole::Caption, recordingPanel);
    playbackProblem_->setWordWrap(true);
    playbackProblem_->hide();
    recordingPanel->content->addWidget(playbackProblem_);
    column->addWidget(recordingPanel);

    // CONFIGURATION
    auto* configurationPanel = new DetailPanel(tr("CONFIGURATION"), this);
    // The right column keeps its whole texts; the texts of the left one give way to it, as they come from the record
    // and may be of any length.
    modelName_ = recordLine(FontRole::Title3, configurationPanel);
    language_ = recordLine(FontRole::Title3, configurationPanel);
    appVersion_ = recordLine(FontRole::Title3, configurationPanel);
    processingTime_ = plainLabel(FontRole::Title3, configurationPanel);
    timestamp_ = plainLabel(FontRole::Title3, configurationPanel);
    auto* left = new QVBoxLayout;
    left->addWidget(configurationRow("brain", tr("Model name"), modelName_, configurationPanel));
    left->addWidget(configurationRow("globe.asia.australia.fill", tr("Language selected"), language_,
                                       configurationPanel));
    left->addWidget(configurationRow("shippingbox", tr("App version"), appVersion_, configurationPanel));
    auto* right = new QVBoxLayout;
    right->addWidget(configurationRow("clock", tr("Processing time"), processingTime_, configurationPanel));
    right->addWidget(configurationRow("calendar", tr("Timestamp"), timestamp_, configurationPanel));
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addStretch(0);
    columns->addLayout(right);
    configurationPanel->content->addStretch(1);
    configurationPanel->content->addLayout(columns);
    column->addWidget(configurationPanel);

    // RESULT
    auto* resultPanel = new DetailPanel(tr("RESULT"), this);
    copyButton_ = StyledButton::make<TertiaryButtonStyle>(tr("Copy"), false, resultPanel);
    resultPanel->headerRow->addStretch(1);
    resultPanel->headerRow->addWidget(copyButton_);
    // A long text keeps the panel's size and shows the whole lines that fit it rather than growing the window.
    result_ = new TextBlock(QString(), resultPanel);
    result_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    resultPanel->content->addWidget(result_, 1);
    column->addWidget(resultPanel, 1);

    connect(playButton_, &StyledButton::clicked, this, [this] { playback_->togglePlayback(recording_.audioURL); });
    connect(copyButton_, &StyledButton::clicked, this, [this] { copyToPasteboard(recording_.metadata.result); });
    connect(playback_, &RecordingPlayback::changed, this, &RecordingDetail::updatePlaybackViews);

    updateTexts();
    updatePlaybackViews();
}

RecordingDetail::~RecordingDetail() {
    waveformLoaded_->close();
    cancelWaveformLoad();
}

void RecordingDetail::setRecording(const Recording& recording) {
    const bool newAudio = recording.audioURL != recording_.audioURL;
    recording_ = recording;
    updateTexts();
    if (newAudio && isVisible()) {
        playback_->stopPlayback();
        playback_->resetPlaybackTime();
        loadWaveform();
    }
}

QString RecordingDetail::playButtonSymbol() const {
    return playback_->playbackActive() ? QStringLiteral("pause.circle.fill") : QStringLiteral("play.circle.fill");
}

QString RecordingDetail::durationText() const { return duration_->text(); }
QString RecordingDetail::playbackProblemText() const {
    return playbackProblem_->isVisibleTo(this) ? playbackProblem_->text() : QString();
}
QString RecordingDetail::modelText() const { return modelName_->text(); }
QString RecordingDetail::languageText() const { return language_->text(); }
QString RecordingDetail::appVersionText() const { return appVersion_->text(); }
QString RecordingDetail::processingTimeText() const { return processingTime_->text(); }
QString RecordingDetail::timestampText() const { return timestamp_->text(); }
QString RecordingDetail::resultText() const { return result_->text(); }
QStringList RecordingDetail::visibleResultLines() const { return result_->visibleLines(); }
QStringList RecordingDetail::visibleModelLines() const { return modelName_->visibleLines(); }
bool RecordingDetail::showsPlaceholder() const { return RecordingTextFormat::showsPlaceholder(recording_.metadata); }

void RecordingDetail::updateTexts() {
    const RecordingMetadata& metadata = recording_.metadata;
    duration_->setText(RecordingTextFormat::secondsText(metadata.duration));
    waveform_->setDuration(metadata.duration);
    // The stored name as it is, then the translated note, as one text so that it wraps as one.
    modelName_->setText(QString::fromStdString(metadata.modelName) +
                        (metadata.speedUpEnabled ? tr(" (Turbo on)") : QString()));
    language_->setText(QString::fromStdString(languageName(metadata.languageSelected)));
    appVersion_->setText(QString::fromStdString(metadata.appVersion));
    processingTime_->setText(RecordingTextFormat::secondsText(metadata.processingTime));
    timestamp_->setText(RecordingTextFormat::dateText(metadata.datetime));

    QFont font = fontFor(FontRole::Title2);
    font.setItalic(showsPlaceholder());
    result_->setFont(font);
    result_->setText(RecordingTextFormat::resultText(metadata));
    setOpacity(result_, showsPlaceholder() ? 0.75 : 1.0);
    // A take without text has nothing to copy: the clipboard keeps what the user put there.
    const bool hasText = !metadata.result.empty();
    copyButton_->setEnabled(hasText);
    copyButton_->setStyleDisabled(!hasText);
}

void RecordingDetail::updatePlaybackViews() {
    playButton_->setIcon(HistorySymbol::icon(playButtonSymbol(), playButton_->iconSize().width()));
    waveform_->setPlaybackTime(playback_->playbackTime());
    const QString problem = playback_->playbackProblem();
    playbackProblem_->setText(problem);
    playbackProblem_->setVisible(!problem.isEmpty());
}

void RecordingDetail::loadWaveform() {
    // The file is read and folded off the GUI thread, however large it is. The bars of the previous file go at once,
    // and a load that a newer one has replaced is stopped and its result dropped.
    cancelWaveformLoad();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    waveformCancelled_ = cancelled;
    waveform_->setWaveHeights({});
    const bool started = waveformLoads_.start([this, loaded = waveformLoaded_, cancelled, file = recording_.audioURL] {
        std::vector<int> heights = RecordingWaveform::loadWaveform(file, cancelled.get());
        // Runs only while the panel lives.
        loaded->post([this, cancelled, heights = std::move(heights)]() mutable {
            if (cancelled->load()) return;
            waveform_->setWaveHeights(std::move(heights));
            emit waveformLoaded();
        });
    });
    if (!started) AppLog::error("The waveform of a recording could not be read: the system refused a thread for it");
}

void RecordingDetail::cancelWaveformLoad() {
    if (waveformCancelled_) waveformCancelled_->store(true);
    waveformCancelled_.reset();
}

void RecordingDetail::showEvent(QShowEvent* event) {
    // Minimising and restoring the window are not the panel coming on screen.
    if (!event->spontaneous()) loadWaveform();
    QWidget::showEvent(event);
}

void RecordingDetail::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) playback_->stopPlayback();
    QWidget::hideEvent(event);
}
