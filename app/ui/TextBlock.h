#pragma once

#include <QStringList>
#include <QWidget>

// Read-only text drawn as whole lines from the top-left of its box, each line left-aligned. Lines follow the text's
// own line feeds and, with word wrap on, wrap at the box's width or at the wrap width, whichever is smaller; without
// it, a line wider than the box ends in an ellipsis. As many lines as fit the box's height are drawn, never a part of
// one, and when the text goes on past the last of them that line ends in an ellipsis.
//
// Only the lines that are shown (or that the size hint needs) are laid out, so a text of megabytes costs no more than
// a screenful. The size hint is the widest line by the height of all lines (up to `sizeHintLineLimit`, wrapped at the
// wrap width or, without one, at 400 pixels), so a layout that centres the widget centres the block of left-aligned
// lines.
class TextBlock : public QWidget {
    Q_OBJECT

public:
    static constexpr int sizeHintLineLimit = 100;

    explicit TextBlock(const QString& text = QString(), QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    bool wordWrap() const { return wordWrap_; }
    void setWordWrap(bool on);
    // The widest a wrapped line may be; 0 (the default) for the box's width alone.
    int wrapWidth() const { return wrapWidth_; }
    void setWrapWidth(int width);

    // The lines as drawn in the current box.
    QStringList visibleLines() const;
    // Whether some of the text is not drawn.
    bool isTruncated() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return wordWrap_; }
    int heightForWidth(int width) const override;

    // The lines of `text` in `font` for a box `width` wide holding at most `maxLines` lines (at least one), as
    // described above: wrapped when `wrap` is set, the last one ending in "…" when text is left over. Lays out only as
    // much of the text as those lines take.
    struct Lines {
        QStringList lines;
        bool truncated = false;
        int widest = 0;  // the widest line, in pixels
    };
    static Lines layOut(const QString& text, const QFont& font, int width, bool wrap, int maxLines);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int lineWidthFor(int boxWidth) const;
    const Lines& shown() const;
    void invalidate();

    QString text_;
    bool wordWrap_ = true;
    int wrapWidth_ = 0;
    mutable bool shownValid_ = false;
    mutable Lines shown_;
    mutable bool hintValid_ = false;
    mutable Lines hint_;
};
