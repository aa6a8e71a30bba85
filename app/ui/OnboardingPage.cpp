#include "ui/OnboardingPage.h"

#include "ui/StyledButton.h"
#include "ui/TextBlock.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <QVBoxLayout>

OnboardingPage::OnboardingPage(const QString& title, const std::vector<Text>& texts, const QString& image,
                               int imageWidth, int textWidth, QWidget* parent)
    : QWidget(parent),
      textBlock_(new QWidget(this)),
      illustration_(new QLabel(this)),
      imageWidth_(imageWidth),
      textWidth_(textWidth),
      buttonRow_(new QHBoxLayout) {
    auto* textLayout = new QVBoxLayout(textBlock_);
    textLayout->setContentsMargins(0, 0, 0, 0);
    textLayout->setSpacing(5);
    addText({title, FontRole::Title, true});
    for (const Text& text : texts) addText(text);
    setIllustration(image);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(20);
    stack->addStretch(1);
    stack->addWidget(textBlock_);
    stack->addWidget(illustration_, 0, Qt::AlignHCenter);
    buttonRow_->setAlignment(Qt::AlignCenter);
    stack->addLayout(buttonRow_);
    stack->addStretch(1);
}

void OnboardingPage::setIllustration(const QString& image) {
    // Scaled to the frame width keeping its aspect ratio, with rounded corners of radius 8.
    illustrationName_ = image;
    QSvgRenderer renderer(QStringLiteral(":/%1.svg").arg(image));
    if (!renderer.isValid()) {
        illustration_->setPixmap(QPixmap());
        illustration_->setFixedWidth(imageWidth_);
        return;
    }
    const QSizeF natural = renderer.defaultSize();
    const QSize size(imageWidth_, qRound(imageWidth_ * natural.height() / natural.width()));
    const qreal ratio = devicePixelRatioF();
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
    illustration_->setPixmap(pixmap);
    illustration_->setFixedSize(size);
}

TextBlock* OnboardingPage::addText(const Text& text) {
    auto* block = new TextBlock(text.text, textBlock_);
    QFont font = text.role ? fontFor(*text.role) : QFont(block->font());
    font.setBold(text.bold);
    block->setFont(font);
    block->setWrapWidth(textWidth_);
    static_cast<QVBoxLayout*>(textBlock_->layout())->addWidget(block, 0, Qt::AlignHCenter);
    blocks_.push_back(block);
    return block;
}

QStringList OnboardingPage::texts() const {
    QStringList result;
    for (const TextBlock* block : blocks_) result << block->text();
    return result;
}

StyledButton* OnboardingPage::addButton(StyledButton* button, Action action) {
    buttonRow_->addWidget(button);
    connect(button, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) action();
    });
    return button;
}
