#include "ui/TextBlock.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr QChar ellipsis(0x2026);
// A box wider than this is laid out as if it were this wide; no screen needs more.
constexpr int widestBox = 8192;
// Where no wrap width is set, the size hint wraps here; the box's own width decides what is drawn.
constexpr int hintWrapWidth = 400;

QString withoutTrailingSpaces(QString line) {
    qsizetype end = line.size();
    while (end > 0 && line.at(end - 1).isSpace()) --end;
    line.truncate(end);
    return line;
}

// Breaks one paragraph (a text without line feeds) into lines at most `width` pixels wide and appends them to `out`
// until it holds `maxLines`. Returns how much of the paragraph those lines cover.
qsizetype wrapParagraph(QStringView paragraph, const QFont& font, int width, qsizetype maxLines, QStringList& out) {
    if (paragraph.isEmpty()) {
        out << QString();
        return 0;
    }
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    qsizetype offset = 0;
    // A generous guess of the characters the remaining lines hold, doubled whenever it falls short.
    qsizetype guess = width / 2 + 16;
    while (offset < paragraph.size() && out.size() < maxLines) {
        const qsizetype wanted = maxLines - out.size();
        const qsizetype take = std::min(paragraph.size() - offset, (wanted + 1) * guess);
        const bool reachesEnd = offset + take == paragraph.size();
        QTextLayout layout(paragraph.mid(offset, take).toString(), font);
        layout.setTextOption(option);
        std::vector<std::pair<int, int>> ranges;  // start and length of each line
        layout.beginLayout();
        while (static_cast<qsizetype>(ranges.size()) <= wanted) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(width);
            ranges.emplace_back(line.textStart(), line.textLength());
        }
        layout.endLayout();
        // Where the piece stops short of the paragraph, its last line may break otherwise once the rest follows.
        qsizetype trusted = static_cast<qsizetype>(ranges.size());
        if (!reachesEnd && trusted <= wanted) --trusted;
        if (trusted <= 0) {
            guess *= 2;
            continue;
        }
        for (qsizetype i = 0; i < std::min(trusted, wanted); ++i) {
            const QString& text = layout.text();
            out << text.mid(ranges[i].first, ranges[i].second);
            offset += ranges[i].second;
        }
    }
    return offset;
}

}  // namespace

TextBlock::Lines TextBlock::layOut(const QString& text, const QFont& font, int width, bool wrap, int maxLines) {
    Lines result;
    width = std::clamp(width, 1, widestBox);
    maxLines = std::max(maxLines, 1);
    const QFontMetricsF metrics(font);
    // Characters enough to fill an unwrapped line, however narrow they are; a longer line is cut with an ellipsis.
    const qsizetype unwrappedChars = 4 * static_cast<qsizetype>(width) + 64;
    std::vector<bool> cut;  // per line: an unwrapped line that goes on past what was kept of it

    const QStringView all(text);
    qsizetype position = 0;  // the start of the paragraph to lay out next
    while (result.lines.size() < maxLines) {
        const qsizetype feed = all.indexOf(QLatin1Char('\n'), position);
        const qsizetype end = feed < 0 ? all.size() : feed;
        const QStringView paragraph = all.mid(position, end - position);
        qsizetype used = 0;
        if (wrap) {
            const qsizetype before = result.lines.size();
            used = wrapParagraph(paragraph, font, width, maxLines, result.lines);
            cut.resize(static_cast<std::size_t>(result.lines.size()), false);
            if (result.lines.size() == before) break;
        } else {
            used = std::min(paragraph.size(), unwrappedChars);
            result.lines << paragraph.left(used).toString();
            cut.push_back(used < paragraph.size());
            used = paragraph.size();
        }
        if (used < paragraph.size()) {
            result.truncated = true;
            break;
        }
        if (feed < 0) break;
        position = feed + 1;
        if (result.lines.size() == maxLines) {
            result.truncated = true;  // a line feed with more (if only an empty line) after it
            break;
        }
    }

    for (qsizetype i = 0; i < result.lines.size(); ++i) {
        QString& line = result.lines[i];
        const bool last = i + 1 == result.lines.size();
        if ((last && result.truncated) || cut[static_cast<std::size_t>(i)]) {
            line = metrics.elidedText(withoutTrailingSpaces(line) + ellipsis, Qt::ElideRight, width);
            if (!line.endsWith(ellipsis)) line += ellipsis;  // even when the characters kept were all zero-width
        } else if (!wrap && metrics.horizontalAdvance(line) > width) {
            line = metrics.elidedText(line, Qt::ElideRight, width);
        }
        result.widest = std::max(result.widest,
                                 static_cast<int>(std::ceil(metrics.horizontalAdvance(withoutTrailingSpaces(line)))));
    }
    return result;
}

TextBlock::TextBlock(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void TextBlock::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    invalidate();
}

void TextBlock::setWordWrap(bool on) {
    if (on == wordWrap_) return;
    wordWrap_ = on;
    invalidate();
}

void TextBlock::setWrapWidth(int width) {
    if (width == wrapWidth_) return;
    wrapWidth_ = width;
    invalidate();
}

void TextBlock::invalidate() {
    shownValid_ = false;
    hintValid_ = false;
    updateGeometry();
    update();
}

int TextBlock::lineWidthFor(int boxWidth) const {
    if (wordWrap_ && wrapWidth_ > 0) return std::min(boxWidth, wrapWidth_);
    return boxWidth;
}

const TextBlock::Lines& TextBlock::shown() const {
    if (!shownValid_) {
        const QRect box = contentsRect();
        const int fitting = box.height() / QFontMetrics(font()).lineSpacing();
        if (fitting <= 0) {
            shown_ = Lines{{}, !text_.isEmpty(), 0};
        } else {
            shown_ = layOut(text_, font(), lineWidthFor(box.width()), wordWrap_, fitting);
        }
        shownValid_ = true;
    }
    return shown_;
}

QStringList TextBlock::visibleLines() const { return shown().lines; }

bool TextBlock::isTruncated() const { return shown().truncated; }

QSize TextBlock::sizeHint() const {
    if (!hintValid_) {
        const int width = !wordWrap_ ? widestBox : wrapWidth_ > 0 ? wrapWidth_ : hintWrapWidth;
        hint_ = layOut(text_, font(), width, wordWrap_, sizeHintLineLimit);
        hintValid_ = true;
    }
    const QMargins m = contentsMargins();
    return QSize(hint_.widest + m.left() + m.right(),
                 static_cast<int>(hint_.lines.size()) * QFontMetrics(font()).lineSpacing() + m.top() + m.bottom());
}

QSize TextBlock::minimumSizeHint() const {
    // A wrapped block can be narrowed (it wraps again); an unwrapped line can be cut down to its ellipsis.
    const QMargins m = contentsMargins();
    return QSize(QFontMetrics(font()).horizontalAdvance(ellipsis) + m.left() + m.right(),
                 QFontMetrics(font()).lineSpacing() + m.top() + m.bottom());
}

int TextBlock::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    const Lines lines =
        layOut(text_, font(), lineWidthFor(width - m.left() - m.right()), wordWrap_, sizeHintLineLimit);
    return static_cast<int>(lines.lines.size()) * QFontMetrics(font()).lineSpacing() + m.top() + m.bottom();
}

void TextBlock::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetrics metrics(font());
    const QRect box = contentsRect();
    int baseline = box.top() + metrics.ascent();
    for (const QString& line : shown().lines) {
        painter.drawText(QPoint(box.left(), baseline), line);
        baseline += metrics.lineSpacing();
    }
}

void TextBlock::resizeEvent(QResizeEvent* event) {
    shownValid_ = false;
    QWidget::resizeEvent(event);
}

void TextBlock::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ContentsRectChange) invalidate();
    QWidget::changeEvent(event);
}
