#include <gtest/gtest.h>

#include <QLabel>

#include "ui/AboutView.h"

namespace {

TEST(AboutView, VersionRowAndFixedHeight) {
    AboutView about;
    EXPECT_EQ(about.versionLabel()->text(), "Version " + AboutView::shortVersion());
    EXPECT_FALSE(AboutView::shortVersion().isEmpty());
    EXPECT_EQ(about.height(), AboutView::pageHeight);
    about.resize(600, 400);  // whatever room the window offers
    EXPECT_EQ(about.height(), AboutView::pageHeight);
    EXPECT_EQ(about.iconLabel()->size(), QSize(128, 128));
    EXPECT_FALSE(about.iconLabel()->pixmap().isNull());
}

}  // namespace
