#include <gtest/gtest.h>

#include <algorithm>


#include "ui/IconButtonStyle.h"
#include "ui/PrimaryButtonLargeStyle.h"
#include "ui/PrimaryButtonStyle.h"
#include "ui/SecondaryButtonStyle.h"
#include "ui/StyledButton.h"
#include "ui/TertiaryButtonStyle.h"

namespace {

QPalette lightPalette() {
    QPalette palette;
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Window, Qt::white);
    return palette;
}

TEST(ButtonStyles, PaddingRadiusAndPressedScale) {
    const QPalette p = lightPalette();
    struct Row {
        const ButtonStyle& style;
        int h, v;
        qreal radius, pressed;
    };
    const PrimaryButtonStyle primary;
    const PrimaryButtonLargeStyle large;
    const SecondaryButtonStyle secondary;
    const TertiaryButtonStyle tertiary;
    const IconButtonStyle icon;
    const Row rows[] = {{primary, 12, 6, 5, 0.95},  {large, 30, 10, 10, 0.95}, {secondary, 12, 6, 5, 0.95},
                        {tertiary, 12, 6, 5, 0.95}, {icon, 0, 0, 0, 0.9}};
    for (const Row& row : rows) {
        const ButtonLook rest = row.style.look(false, p);
        const ButtonLook held = row.style.look(true, p);
        EXPECT_EQ(rest.horizontalPadding, row.h);
        EXPECT_EQ(rest.verticalPadding, row.v);
        EXPECT_EQ(rest.cornerRadius, row.radius);
        EXPECT_EQ(rest.scale, 1.0);
        EXPECT_DOUBLE_EQ(held.scale, row.pressed);
    }
    EXPECT_TRUE(large.look(false, p).font.has_value());
    EXPECT_FALSE(primary.look(false, p).font.has_value());
}

TEST(ButtonStyles, DisabledChangesOnlyTheColoursEachStyleNames) {
    const QPalette p = lightPalette();
    // Primary: white on gray when disabled, white on blue otherwise.
    EXPECT_EQ(PrimaryButtonStyle(true).look(false, p).backgroundColor, ButtonStyle::gray());
    EXPECT_EQ(PrimaryButtonStyle(true).look(false, p).foreground, QColor(Qt::white));
    EXPECT_EQ(PrimaryButtonLargeStyle(false).look(false, p).backgroundColor, ButtonStyle::blue());
    // Secondary: the label dims to half, the background stays at 0.2 of the text colour.
    const ButtonLook secondary = SecondaryButtonStyle(true).look(false, p);
    EXPECT_NEAR(secondary.foreground.alphaF(), 0.5, 0.01);
    EXPECT_NEAR(secondary.backgroundColor.alphaF(), 0.2, 0.01);
    EXPECT_NEAR(SecondaryButtonStyle(false).look(false, p).backgroundColor.alphaF(), 0.2, 0.01);
    // Tertiary: an outline in the label colour, shrunk again while pressed.
    const ButtonLook tertiary = TertiaryButtonStyle(true).look(true, p);
    EXPECT_EQ(tertiary.background, ButtonLook::Background::Border);
    EXPECT_DOUBLE_EQ(tertiary.borderScale, 0.95);
    EXPECT_NEAR(tertiary.foreground.alphaF(), 0.5, 0.01);
    EXPECT_EQ(IconButtonStyle(false).look(false, p).background, ButtonLook::Background::None);
}

TEST(StyledButton, DisabledLookStillClicksAndPaintsGray) {
    StyledButton* button = StyledButton::make<PrimaryButtonStyle>("Download", true);
    std::unique_ptr<StyledButton> owner(button);
    button->resize(button->sizeHint());
    button->show();
    int clicked = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&] { ++clicked; });
    button->click();
    EXPECT_EQ(clicked, 1);

    const QImage image = button->grab().toImage();
    // A point inside the padding (away from the text and the rounded corners) shows the background.
    const QColor pixel = image.pixelColor(QPoint(6, image.height() / 2) * image.devicePixelRatio());
    EXPECT_EQ(pixel.rgb(), ButtonStyle::gray().rgb());

    button->setStyleDisabled(false);
    const QImage enabled = button->grab().toImage();
    EXPECT_EQ(enabled.pixelColor(QPoint(6, enabled.height() / 2) * enabled.devicePixelRatio()).rgb(),
              ButtonStyle::blue().rgb());
}

TEST(StyledButton, ADisabledSecondaryButtonDimsItsLabelButNotItsBackground) {
    // "Cancel" of the download panel at progress 1: style disabled and the button itself disabled.
    const auto backgroundAndLabel = [](bool disabled) {
        std::unique_ptr<StyledButton> button(StyledButton::make<SecondaryButtonStyle>("Cancel", disabled));
        button->setEnabled(!disabled);
        button->resize(button->sizeHint());
        QImage image(button->size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        button->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        // A point in the padding shows the background; the darkest pixel is the label's.
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, image.pixelColor(x, y).lightness());
        return std::make_pair(image.pixelColor(6, image.height() / 2).rgb(), darkest);
    };
    const auto [restBackground, restLabel] = backgroundAndLabel(false);
    const auto [disabledBackground, disabledLabel] = backgroundAndLabel(true);
    EXPECT_EQ(disabledBackground, restBackground);
    EXPECT_GT(disabledLabel, restLabel + 40);
}

TEST(StyledButton, SizeIsLabelPlusPadding) {
    std::unique_ptr<StyledButton> small(StyledButton::make<PrimaryButtonStyle>("Go"));
    std::unique_ptr<StyledButton> large(StyledButton::make<PrimaryButtonLargeStyle>("Go"));
    const QFontMetrics metrics(small->font());
    EXPECT_EQ(small->sizeHint().width(), metrics.boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignCenter, "Go").width() + 24);
    EXPECT_GT(large->sizeHint().height(), small->sizeHint().height() + 8);
}

}  // namespace
