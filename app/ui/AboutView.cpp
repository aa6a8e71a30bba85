#include "ui/AboutView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/FontRole.h"

namespace {


const char* websiteURL = "https://brindlefox.com/vellumcaster";
const char* twitterURL = "https://twitter.com/brindlefox";

QLabel* link(const QString& title, const char* url, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(url, title.toHtmlEscaped()), parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(true);  // through the desktop's URL opener
    return label;
}

}  // namespace

const QString& AboutView::shortVersion() {
    static const QString version = QStringLiteral(VC_APP_VERSION);
    return version;
}

AboutView::AboutView(QWidget* parent) : QWidget(parent), icon_(new QLabel(this)), version_(new QLabel(this)) {
    // An icon that cannot be loaded leaves an empty 128 x 128 area.
    icon_->setFixedSize(iconSize, iconSize);
    const QIcon appIcon(":/Icon.svg");
    if (!appIcon.isNull()) icon_->setPixmap(appIcon.pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    icon_->setAlignment(Qt::AlignCenter);

    auto* name = new QLabel(tr("vellumcaster"), this);
    name->setFont(fontFor(FontRole::Title));
    version_->setText(tr("Version %1").arg(shortVersion()));
    version_->setFont(fontFor(FontRole::Title2));
    auto* copyright = new QLabel(tr("Copyright \u00A9 2024 Brindlefox"), this);
    auto* rights = new QLabel(tr("All rights reserved."), this);

    auto* links = new QHBoxLayout;
    links->addWidget(link(tr("Website"), websiteURL, this));
    links->addWidget(link(tr("Twitter"), twitterURL, this));
    links->addStretch();

    auto* column = new QVBoxLayout;
    column->addWidget(name);
    column->addWidget(version_);
    column->addWidget(copyright);
    column->addWidget(rights);
    column->addLayout(links);

    auto* row = new QHBoxLayout;
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    row->addLayout(column);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(row);
    page->setAlignment(row, Qt::AlignCenter);
    setFixedHeight(pageHeight);
}
