#include "shell/RecordingView.h"

#include "platform/SettingsStore.h"
#include "shell/StatusItem.h"
#include "shell/WaveformBars.h"

#include <QDateTime>
#include <QEvent>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>

#include <algorithm>

namespace {

bool isDarkPalette(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

QFont titleFont() {
    QFont font;
    font.setPointSize(15);
    return font;
}

void setFaded(QWidget* widget) {
    QPalette palette = widget->palette();
    QColor text = palette.color(QPalette::WindowText);
    text.setAlphaF(0.5f);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

}  // namespace

RecordingView::RecordingView(SettingsStore& settings, Clock clock, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      clock_(clock ? std::move(clock) : Clock([] { return QDateTime::currentMSecsSinceEpoch() / 1000.0; })),
      lastUpdate_(clock_()) {
    setFixedWidth(viewWidth);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);

    bars_ = new WaveformBars(this);
    text_ = new QLabel(this);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text_->setFont(titleFont());
    text_->setContentsMargins(15, 0, 15, 0);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    setFaded(divider);

    auto* hintRow = new QHBoxLayout;
    hintRow->setContentsMargins(15, 0, 15, 5);
    auto* icon = new QLabel(this);
    icon->setPixmap(StatusItem::image(QStringLiteral("Icon")).pixmap(18, 18));
    auto* iconOpacity = new QGraphicsOpacityEffect(icon);
    iconOpacity->setOpacity(0.5);
    icon->setGraphicsEffect(iconOpacity);
    auto* hint = new QLabel(QStringLiteral("Press Escape to cancel"), this);
    setFaded(hint);
    hintRow->addWidget(icon);
    hintRow->addStretch(1);
    hintRow->addWidget(hint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->addWidget(bars_);
    layout->addWidget(text_);
    layout->addWidget(divider);
    layout->addLayout(hintRow);

    updateTimer_.setInterval(10);
    connect(&updateTimer_, &QTimer::timeout, this, &RecordingView::tick);
    refresh();
}

std::vector<int> RecordingView::barValues(RecordingState state, const QList<int>& reducedSamples, double lastUpdate) {
    std::vector<int> values;
    if (state == RecordingState::recording) {
        values.reserve(reducedSamples.size());
        for (const int level : reducedSamples) values.push_back(level * 2);
    } else {
        values = WaveformBars::processingWave(lastUpdate);
    }
    for (int& v : values) v = std::min(v, int(WaveformBars::maxHeight));
    return values;
}

int RecordingView::characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

int RecordingView::textHeight(RecordingState state, const QString& realtimeText, const QString& resultText) {
    const bool recording = state == RecordingState::recording;
    const int n = characterCount(recording ? realtimeText : resultText);
    return (recording ? 40 : 80) + 40 * (n / 100);
}

void RecordingView::setState(RecordingState state) {
    state_ = state;
    refresh();
}

void RecordingView::setReducedSamples(const QList<int>& levels) {
    reducedSamples_ = levels;
    if (state_ == RecordingState::recording) bars_->setValues(barValues(state_, reducedSamples_, lastUpdate_));
}

void RecordingView::setRealtimeText(const QString& text) {
    realtimeText_ = text;
    refresh();
}

void RecordingView::setResultText(const QString& text) {
    resultText_ = text;
    refresh();
}

void RecordingView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) bars_->setDark(isDarkPalette(palette()));
    QWidget::changeEvent(event);
}

void RecordingView::tick() {
    lastUpdate_ = clock_();
    bars_->setValues(barValues(state_, reducedSamples_, lastUpdate_));
}

void RecordingView::refresh() {
    bars_->setDark(isDarkPalette(palette()));
    const bool barRow = state_ == RecordingState::recording || state_ == RecordingState::processing;
    bars_->setVisible(barRow);
    // The wave moves only while the bar row is shown.
    if (barRow && !updateTimer_.isActive()) updateTimer_.start();
    if (!barRow) updateTimer_.stop();
    if (barRow) bars_->setValues(barValues(state_, reducedSamples_, lastUpdate_));

    QFont font = titleFont();
    bool showText = false;
    if (state_ == RecordingState::recording) {
        showText = settings_.boolValue("realtimeResultsEnabled", false) && !realtimeText_.isEmpty();
        text_->setText(realtimeText_);
    } else if (state_ == RecordingState::ready) {
        showText = true;
        if (resultText_.isEmpty()) {
            font.setItalic(true);
            text_->setText(QStringLiteral("No voice found in recording"));
        } else {
            text_->setText(resultText_);
        }
    }
    text_->setFont(font);
    QPalette palette = this->palette();
    QColor color = palette.color(QPalette::WindowText);
    if (state_ == RecordingState::ready && resultText_.isEmpty()) color.setAlphaF(0.5f);
    palette.setColor(QPalette::WindowText, color);
    text_->setPalette(palette);
    text_->setVisible(showText);
    if (showText) text_->setFixedHeight(textHeight(state_, realtimeText_, resultText_));
}
