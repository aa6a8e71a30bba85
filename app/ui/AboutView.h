#pragma once

#include <QWidget>

class QLabel;

// The "About" page: the application icon beside the product name, the version of this build, the copyright lines
// and two links that open the product's web pages in the browser.
class AboutView : public QWidget {
    Q_OBJECT

public:
    static constexpr int pageHeight = 250;
    static constexpr int iconSize = 128;

    explicit AboutView(QWidget* parent = nullptr);

    // The version of this build, as the build system sets it.
    static const QString& shortVersion();

    QLabel* iconLabel() const { return icon_; }
    QLabel* versionLabel() const { return version_; }

private:
    QLabel* icon_;
    QLabel* version_;
};
