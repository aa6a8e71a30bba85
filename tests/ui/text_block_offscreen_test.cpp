#include "ui/TextBlock.h"

#include "ui/FontRole.h"
#include "ui/InfoButtonView.h"
#include "ui/InfoPopoverView.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontMetrics>

namespace {

const QString promptHelp =
    "You can use the prompt to give unique spelling of names, set tone or context, or location based spelling.\n\n"
    "We recommend giving it proper nouns (people, companies, places, etc) you commonly use.\n\n"
    "For example: 'I am First Last, I work at Company, in Place.'";

QString words(int count) {
    QString text;
    for (int i = 0; i < count; ++i) text += QStringLiteral("word%1 ").arg(i);
    return text;
}

}  // namespace

TEST(TextBlock, ShowsOnlyWholeLinesAndEndsTheLastOneWithAnEllipsisWhenTextIsLeft) {
    TextBlock block(words(200));
    block.setFont(fontFor(FontRole::Title3));
    const int line = QFontMetrics(block.font()).lineSpacing();
    // Room for three lines and most of a fourth: three are drawn, never a slice of the fourth.
    block.resize(300, 3 * line + line * 3 / 4);
    const QStringList lines = block.visibleLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(block.isTruncated());
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026)));
    EXPECT_TRUE(lines.first().startsWith("word0 word1"));
    for (const QString& l : lines) EXPECT_LE(QFontMetrics(block.font()).horizontalAdvance(l.trimmed()), 300);

    block.setText("short text");
    EXPECT_EQ(block.visibleLines(), QStringList{"short text"});
    EXPECT_FALSE(block.isTruncated());
}

TEST(TextBlock, KeepsLineFeedsBlankLinesAndLeadingBlanks) {
    const TextBlock::Lines lines =
        TextBlock::layOut("first\n\n second\n", fontFor(FontRole::Body), 400, true, 10);
    EXPECT_EQ(lines.lines, (QStringList{"first", "", " second", ""}));
    EXPECT_FALSE(lines.truncated);
}

TEST(TextBlock, UnwrappedLinesEndInAnEllipsisInsteadOfWrapping) {
    TextBlock block("Jul 26, 2023, 06:13 and a great deal more that cannot fit");
    block.setWordWrap(false);
    block.resize(120, 200);
    const QStringList lines = block.visibleLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().endsWith(QChar(0x2026)));
    EXPECT_LE(QFontMetrics(block.font()).horizontalAdvance(lines.first()), 120);
}

TEST(TextBlock, SizeHintIsTheWidestWrappedLineSoACentredBlockStaysCentred) {
    TextBlock block("a short line\nand a second line that is longer");
    block.setWrapWidth(1000);
    const QFontMetrics metrics(block.font());
    EXPECT_NEAR(block.sizeHint().width(), metrics.horizontalAdvance("and a second line that is longer"), 1);
    EXPECT_EQ(block.sizeHint().height(), 2 * metrics.lineSpacing());
}

TEST(TextBlock, AMegabyteOfTextLaysOutOnlyWhatItShows) {
    // Without a line feed in it, as transcripts are. The figure is printed, not asserted: only a hang would fail.
    TextBlock block(words(150000));
    block.setFont(fontFor(FontRole::Title2));
    block.resize(340, 400);
    QElapsedTimer clock;
    clock.start();
    const QStringList lines = block.visibleLines();
    const QSize hint = block.sizeHint();
    std::printf("1 MB text: %lld lines shown, size hint %dx%d, %lld ms\n", static_cast<long long>(lines.size()), hint.width(), hint.height(),
                static_cast<long long>(clock.elapsed()));
    EXPECT_GT(lines.size(), 5);
    EXPECT_TRUE(block.isTruncated());
    EXPECT_EQ(hint.height(), TextBlock::sizeHintLineLimit * QFontMetrics(block.font()).lineSpacing());
    EXPECT_LE(hint.width(), 400);
}

TEST(InfoPopover, IsAsHighAsItsWholeTextAtItsRealWidth) {
    InfoPopoverView popover(promptHelp);
    popover.adjustSize();
    EXPECT_EQ(popover.width(), InfoPopoverView::popoverWidth);
    // Whatever draws the text, at 300 points less the paddings it needs at least this much height.
    const QRect needed = QFontMetrics(popover.font()).boundingRect(QRect(0, 0, InfoPopoverView::popoverWidth - 40, 10000),
                                                                   Qt::TextWordWrap, promptHelp);
    EXPECT_GE(popover.height(), needed.height());

    popover.show();
    const TextBlock* text = popover.textBlock();
    EXPECT_FALSE(text->isTruncated());
    EXPECT_TRUE(text->visibleLines().last().startsWith("in Place") || text->visibleLines().join(" ").contains("For example"));
    EXPECT_TRUE(popover.rect().contains(text->geometry()));
}
