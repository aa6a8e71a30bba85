#include "ui/RecordingCard.h"

#include "ui/FontRole.h"
#include "ui/PanelBackground.h"
#include "ui/RecordingTextFormat.h"
#include "ui/TextBlock.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {

QColor withAlpha(QColor colour, qreal opacity) {
    colour.setAlphaF(colour.alphaF() * opacity);
    return colour;
}

void setTextColour(QWidget* text, const QColor& colour) {
    QPalette palette = text->palette();
    palette.setColor(QPalette::WindowText, colour);
    text->setPalette(palette);
}

}  // namespace

RecordingCard::RecordingCard(const Recording& recording, bool isSelected, QWidget* parent)
    : QWidget(parent), recording_(recording), isSelected_(isSelected) {
    setFixedSize(cardWidth, cardHeight);
    setAttribute(Qt::WA_Hover);

    date_ = new QLabel(this);
    processingTime_ = new QLabel(this);
    // The text takes the rest of the fixed card and shows the whole lines that fit there.
    result_ = new TextBlock(QString(), this);
    result_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    for (QWidget* text : std::initializer_list<QWidget*>{date_, processingTime_, result_}) {
        text->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    for (QLabel* label : {date_, processingTime_}) {
        // Record texts are shown verbatim, never as markup.
        label->setTextFormat(Qt::PlainText);
        label->setFont(fontFor(FontRole::Subheadline));
    }

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(date_);
    header->addStretch(1);
    header->addWidget(processingTime_);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->addLayout(header);
    column->addSpacing(5);
    column->addWidget(result_, 1);

    updateTexts();
    updateColours();
}

void RecordingCard::setRecording(const Recording& recording) {
    recording_ = recording;
    updateTexts();
    updateColours();
}

void RecordingCard::setSelected(bool isSelected) {
    if (isSelected_ == isSelected) return;
    isSelected_ = isSelected;
    update();
}

void RecordingCard::setHovering(bool isHovering) {
    if (isHovering_ == isHovering) return;
    isHovering_ = isHovering;
    update();
}

qreal RecordingCard::borderOpacity() const {
    if (isSelected_) return 0.6;
    if (isHovering_) return 0.4;
    return 0.0;
}

QString RecordingCard::dateText() const { return date_->text(); }
QString RecordingCard::processingTimeText() const { return processingTime_->text(); }
QString RecordingCard::resultText() const { return result_->text(); }
QStringList RecordingCard::visibleResultLines() const { return result_->visibleLines(); }
bool RecordingCard::showsPlaceholder() const { return RecordingTextFormat::showsPlaceholder(recording_.metadata); }

void RecordingCard::updateTexts() {
    const RecordingMetadata& metadata = recording_.metadata;
    date_->setText(RecordingTextFormat::dateText(metadata.datetime));
    processingTime_->setText(RecordingTextFormat::secondsText(metadata.processingTime));
    QFont font = fontFor(FontRole::Title3);
    font.setItalic(showsPlaceholder());
    result_->setText(RecordingTextFormat::resultText(metadata));
    result_->setFont(font);
}

void RecordingCard::updateColours() {
    const QColor text = palette().color(QPalette::WindowText);
    setTextColour(date_, withAlpha(text, 0.5));
    setTextColour(processingTime_, withAlpha(text, 0.5));
    setTextColour(result_, showsPlaceholder() ? withAlpha(text, 0.75) : text);
}

void RecordingCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF frame = PanelBackground::cardRect(rect());
    PanelBackground::paint(painter, frame, PanelBackground::isDark(palette()));
    if (const qreal opacity = borderOpacity(); opacity > 0) {
        painter.setRenderHint(QPainter::Antialiasing);
        QPen pen(withAlpha(QColor(142, 142, 147), opacity), 2.0);
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(frame, PanelBackground::cornerRadius, PanelBackground::cornerRadius);
    }
}

void RecordingCard::enterEvent(QEnterEvent*) { setHovering(true); }

void RecordingCard::leaveEvent(QEvent*) { setHovering(false); }

void RecordingCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void RecordingCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) updateColours();
    QWidget::changeEvent(event);
}
