#include "ui/FontRole.h"

#include <QApplication>

QFont fontFor(FontRole role) {
    QFont font = QApplication::font();
    switch (role) {
        case FontRole::Footnote: font.setPixelSize(10); break;
        case FontRole::Caption: font.setPixelSize(10); break;
        case FontRole::Subheadline: font.setPixelSize(11); break;
        case FontRole::Body: font.setPixelSize(13); break;
        case FontRole::Headline:
            font.setPixelSize(13);
            font.setWeight(QFont::DemiBold);
            break;
        case FontRole::Title3: font.setPixelSize(15); break;
        case FontRole::Title2: font.setPixelSize(17); break;
        case FontRole::Title: font.setPixelSize(22); break;
    }
    return font;
}
