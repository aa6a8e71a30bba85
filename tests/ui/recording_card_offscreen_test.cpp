#include "ui/RecordingCard.h"
#include "ui/RecordingTextFormat.h"

#include "support/TempHome.h"
#include "ui/history_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <QDateTime>
#include <QImage>
#include <QLocale>
#include <QTimeZone>

using historytest::record;
using historytest::recordingIn;
using historytest::writeDictation;

TEST(RecordingTextFormat, SecondsHaveTwoDecimalsInEveryLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(RecordingTextFormat::secondsText(1234), "1.23s");
    EXPECT_EQ(RecordingTextFormat::secondsText(0), "0.00s");
    EXPECT_EQ(RecordingTextFormat::secondsText(60000), "60.00s");
    EXPECT_EQ(RecordingTextFormat::secondsText(3456), "3.46s");
    QLocale::setDefault(previous);
}

TEST(RecordingTextFormat, DateIsReadAsUtcAndShownInTheUsersLocaleAndZone) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString text = RecordingTextFormat::dateText("2023-08-01T14:05:09");
    const QDateTime local = QDateTime(QDate(2023, 8, 1), QTime(14, 5, 9), QTimeZone::utc()).toLocalTime();
    const int hour12 = local.time().hour() % 12 == 0 ? 12 : local.time().hour() % 12;
    EXPECT_TRUE(text.contains("2023")) << text.toStdString();
    const QString clock = QString::number(hour12) + ":" + QString::number(local.time().minute()).rightJustified(2, '0');
    EXPECT_TRUE(text.contains(clock)) << text.toStdString();
    EXPECT_TRUE(text.contains(QLocale().monthName(local.date().month(), QLocale::ShortFormat))) << text.toStdString();

    // Anything but the exact stored form gives the empty text.
    for (const char* bad : {"", "garbage", "2023-08-01T14:05:09Z", "2023-08-01 14:05:09", "2023-02-30T10:00:00",
                            "2023-08-01T25:00:00", "2023-08-01T14:05:09.5"}) {
        EXPECT_EQ(RecordingTextFormat::dateText(bad), QString()) << bad;
    }
    QLocale::setDefault(previous);
}

class Card : public testing::Test {
protected:
    vctest::TempHome home;
};

TEST_F(Card, ShowsDateProcessingTimeAndTextButNotTheLength) {
    RecordingCard card(recordingIn(writeDictation(1000, record("Hello there", 9999))), false);
    EXPECT_FALSE(card.dateText().isEmpty());
    EXPECT_EQ(card.processingTimeText(), "1.23s");
    EXPECT_EQ(card.resultText(), "Hello there");
    EXPECT_FALSE(card.showsPlaceholder());
    EXPECT_EQ(card.size(), QSize(350, 125));
}

TEST_F(Card, EmptyTextShowsThePlaceholderButABlankDoesNot) {
    RecordingCard empty(recordingIn(writeDictation(1000, record(""))), false);
    EXPECT_TRUE(empty.showsPlaceholder());
    EXPECT_EQ(empty.resultText(), "No voice found in recording");

    RecordingCard blank(recordingIn(writeDictation(1001, record(" "))), false);
    EXPECT_FALSE(blank.showsPlaceholder());
    EXPECT_EQ(blank.resultText(), " ");

    // Record texts are never read as markup.
    RecordingCard markup(recordingIn(writeDictation(1002, record("<b>bold</b>"))), false);
    EXPECT_EQ(markup.resultText(), "<b>bold</b>");
}

// A take whose recognition did not finish says so: before the text it gave until then, or as a note in its place.
TEST_F(Card, AnUnfinishedRecognitionSaysSoBeforeItsTextOrInItsPlace) {
    RecordingMetadata partly = record("hello wor");
    partly.recognitionFinished = false;
    RecordingCard card(recordingIn(writeDictation(1000, partly)), false);
    EXPECT_EQ(card.resultText().toStdString(), "Partly transcribed: the recognition did not finish\nhello wor");
    EXPECT_FALSE(card.showsPlaceholder());

    RecordingMetadata none = record("");
    none.recognitionFinished = false;
    RecordingCard empty(recordingIn(writeDictation(1001, none)), false);
    EXPECT_EQ(empty.resultText().toStdString(), "Not transcribed: the recognition did not finish");
    EXPECT_TRUE(empty.showsPlaceholder());
}

TEST_F(Card, MalformedDateLeavesTheDateEmptyButKeepsTheProcessingTime) {
    RecordingMetadata m = record("x");
    m.datetime = "yesterday";
    RecordingCard card(recordingIn(writeDictation(1000, m)), false);
    EXPECT_EQ(card.dateText(), "");
    EXPECT_EQ(card.processingTimeText(), "1.23s");
}

TEST_F(Card, BorderMarksSelectionOverHover) {
    RecordingCard card(recordingIn(writeDictation(1000, record("x"))), false);
    EXPECT_EQ(card.borderOpacity(), 0.0);
    card.setHovering(true);
    EXPECT_EQ(card.borderOpacity(), 0.4);
    card.setSelected(true);
    EXPECT_EQ(card.borderOpacity(), 0.6);
    card.setHovering(false);
    EXPECT_EQ(card.borderOpacity(), 0.6);
}

// The lightness of each pixel from the card's left edge inwards along its middle row, drawn over white.
std::vector<int> leftEdge(RecordingCard& card) {
    QImage image(card.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    card.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    std::vector<int> out;
    for (int x = 0; x < 8; ++x) out.push_back(image.pixelColor(x, card.height() / 2).lightness());
    return out;
}

TEST_F(Card, ShadowIsSoftSoOnlyTheSelectedCardShowsARing) {
    RecordingCard card(recordingIn(writeDictation(1000, record("x"))), false);
    const std::vector<int> plain = leftEdge(card);
    // A faint shade that fades outwards, no outline.
    EXPECT_GE(*std::min_element(plain.begin(), plain.end()), 232);
    EXPECT_GE(plain[0], plain[2]);
    EXPECT_LT(plain[2], 255);

    card.setSelected(true);
    const std::vector<int> selected = leftEdge(card);
    EXPECT_LE(*std::min_element(selected.begin(), selected.end()), 200);
    EXPECT_GE(*std::min_element(plain.begin(), plain.end()) - *std::min_element(selected.begin(), selected.end()), 40);
}

TEST_F(Card, LongTextKeepsTheFixedSizeAndEndsOnAWholeLineWithAnEllipsis) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "sentence " + std::to_string(i) + " ";
    RecordingCard card(recordingIn(writeDictation(1000, record(text))), true);
    card.show();
    card.adjustSize();
    EXPECT_EQ(card.size(), QSize(350, 125));
    const QStringList lines = card.visibleResultLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.first().startsWith("sentence 0 sentence 1"));
    EXPECT_TRUE(lines.last().endsWith(QChar(0x2026))) << lines.last().toStdString();
    EXPECT_EQ(card.resultText(), QString::fromStdString(text));

    RecordingCard shortText(recordingIn(writeDictation(1001, record("Milk and eggs."))), false);
    shortText.show();
    EXPECT_EQ(shortText.visibleResultLines(), QStringList{"Milk and eggs."});
}
