#include "shell/AppWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/VisualEffectView.h"

AppWindow::AppWindow(QWidget* root, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint),
      root_(root),
      background_(new VisualEffectView(VisualEffectView::Material::UnderWindowBackground, this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QString());
    resize(480, 250);

    auto* content = new QVBoxLayout(background_);
    content->setContentsMargins(0, 0, 0, 0);
    content->addWidget(root_);
    auto* window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->addWidget(background_);
    // Not resizable by the user: the window always takes the size its content asks for.
    window->setSizeConstraint(QLayout::SetFixedSize);

    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void AppWindow::bringToFront() {
    show();
    raise();
    activateWindow();
}
