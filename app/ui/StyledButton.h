#pragma once

#include <QAbstractButton>
#include <memory>

#include "ui/ButtonStyle.h"

// A push button drawn by a ButtonStyle. The label is the button's text (several lines allowed), its icon, or both
// (icon before text); the icon is tinted in the style's foreground colour. The style's `isDisabled` only changes the
// look: clicks still arrive, so callers that must block the action check it themselves.
class StyledButton : public QAbstractButton {
    Q_OBJECT

public:
    StyledButton(const QString& text, std::unique_ptr<ButtonStyle> style, QWidget* parent = nullptr);

    template <class Style>
    static StyledButton* make(const QString& text, bool isDisabled = false, QWidget* parent = nullptr) {
        return new StyledButton(text, std::make_unique<Style>(isDisabled), parent);
    }

    const ButtonStyle& buttonStyle() const { return *style_; }
    void setButtonStyle(std::unique_ptr<ButtonStyle> style);
    // Rebuilds the current style with a new `isDisabled`.
    void setStyleDisabled(bool isDisabled);

    // The look in the current state (pressed while held down).
    ButtonLook currentLook() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize labelSize(const QFont& font) const;

    std::unique_ptr<ButtonStyle> style_;
};
