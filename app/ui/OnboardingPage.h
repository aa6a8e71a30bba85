#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "ui/FontRole.h"

class QHBoxLayout;
class QLabel;
class StyledButton;
class TextBlock;

// What every onboarding page shares: a text block (bold title, then further texts), an illustration clipped to a
// rounded rectangle, and a row of buttons, stacked and centred 20 points apart (the stack itself centred in whatever
// height the page is given). Each text is a centred block whose lines are left-aligned and wrap at the page's text
// width, not at the illustration's.
class OnboardingPage : public QWidget {
    Q_OBJECT

public:
    using Action = std::function<void()>;

    // The text width of a page without a frame of its own: the onboarding window's 600 points less the 20 points of
    // padding it puts on either side of its page.
    static constexpr int availableWidth = 560;

    struct Text {
        QString text;
        std::optional<FontRole> role;  // empty: the default font
        bool bold = false;
    };

    // The texts shown, in order (the title first).
    QStringList texts() const;
    const std::vector<TextBlock*>& textBlocks() const { return blocks_; }
    QLabel* illustration() const { return illustration_; }
    // The name of the image shown.
    const QString& illustrationName() const { return illustrationName_; }

protected:
    OnboardingPage(const QString& title, const std::vector<Text>& texts, const QString& image, int imageWidth,
                   int textWidth, QWidget* parent);

    QHBoxLayout* buttonRow() const { return buttonRow_; }
    // Puts `button` at the end of the button row, running `action` (when set) at every click; returns the button.
    StyledButton* addButton(StyledButton* button, Action action);
    TextBlock* addText(const Text& text);
    // Shows another image in the illustration's frame.
    void setIllustration(const QString& image);

private:
    QWidget* textBlock_;
    QLabel* illustration_;
    QString illustrationName_;
    int imageWidth_;
    int textWidth_;
    QHBoxLayout* buttonRow_;
    std::vector<TextBlock*> blocks_;
};
