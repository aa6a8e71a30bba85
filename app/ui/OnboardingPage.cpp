#include "ui/OnboardingPage.h"

#include "ui/StyledButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <QVBoxLayout>

namespace {

// The illustration, scaled to the frame width keeping its aspect ratio, with rounded corners of radius 8.
QLabel* illustration(const QString& name, int width, QWidget* parent) {
    auto* label = new QLabel(parent);
    QSvgRenderer renderer(QStringLiteral(":/%1.svg").arg(name));
    if (!renderer.isValid()) {
        label->setFixedWidth(width);
        return label;
    }
    const QSizeF natural = renderer.defaultSize();
    const QSize size(width, qRound(width * natural.height() / natural.width()));
    const qreal ratio = parent->devicePixelRatioF();
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), 8, 8);
    painter.setClipPath(clip);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    label->setPixmap(pixmap);
    label->setFixedSize(size);
    return label;
}

}  // namespace

OnboardingPage::OnboardingPage(const QString& title, const std::vector<Text>& texts, const QString& image,
                               int imageWidth, QWidget* parent)
    : QWidget(parent), textBlock_(new QWidget(this)), buttonRow_(new QHBoxLayout) {
    auto* textLayout = new QVBoxLayout(textBlock_);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(5);
    addText({title, FontRole::Title, true});
    for (const Text& text : texts) addText(text);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(20);
    stack->addWidget(textBlock_);
    stack->addWidget(illustration(image, imageWidth, this), 0, Qt::AlignHCenter);
    buttonRow_->setAlignment(Qt::AlignCenter);
    stack->addLayout(buttonRow_);
}

QLabel* OnboardingPage::addText(const Text& text) {
    auto* label = new QLabel(text.text, textBlock_);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    QFont font = text.role ? fontFor(*text.role) : QFont(label->font());
    font.setBold(text.bold);
    label->setFont(font);
    textBlock_->layout()->addWidget(label);
    labels_.push_back(label);
    return label;
}

QStringList OnboardingPage::texts() const {
    QStringList result;
    for (const QLabel* label : labels_) result << label->text();
    return result;
}

StyledButton* OnboardingPage::addButton(StyledButton* button, Action action) {
    buttonRow_->addWidget(button);
    connect(button, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) action();
    });
    return button;
}
