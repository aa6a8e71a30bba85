#include "shell/MenuWindow.h"

#include "shell/KeyboardManager.h"
#include "shell/StatusItem.h"

#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// What each status image tells, in words.
QString stateText(const QString& imageName) {
    if (imageName == QLatin1String("IconLoading")) return MenuWindow::tr("Loading the speech model");
    if (imageName == QLatin1String("IconRecording")) return MenuWindow::tr("Recording");
    if (imageName == QLatin1String("IconWorking")) return MenuWindow::tr("Recognizing");
    if (imageName == QLatin1String("IconComplete")) return MenuWindow::tr("Dictation finished");
    return MenuWindow::tr("Ready");
}

}  // namespace

MenuWindow::MenuWindow(const QMenu& menu, const StatusItem& statusItem, const KeyboardManager& keyboardManager,
                       QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowDoesNotAcceptFocus),
      image_(new QLabel(this)),
      state_(new QLabel(this)),
      hotKey_(new QLabel(this)) {
    // Shown at start-up, and clicked to start and stop dictations: the window the user is typing in keeps the
    // keyboard, and gets the dictation's text.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QString());

    auto* layout = new QVBoxLayout(this);
    auto* status = new QHBoxLayout;
    status->addWidget(image_);
    status->addWidget(state_, 1);
    // Wide enough for the window manager to show the title whole.
    state_->setMinimumWidth(200);
    layout->addLayout(status);
    layout->addWidget(hotKey_);
    addItems(menu);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    showImage(statusItem.imageName());
    connect(&statusItem, &StatusItem::imageChanged, this, &MenuWindow::showImage);
    showHotKey(keyboardManager);
    connect(&keyboardManager, &KeyboardManager::hotKeyRegistered, this,
            [this, &keyboardManager] { showHotKey(keyboardManager); });

    // At the top right, where a tray would be, and away from the middle of the screen, where the recording window
    // shows over everything while a dictation runs: the button that stops it stays in reach.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        adjustSize();
        const QRect area = screen->availableGeometry();
        move(area.right() - frameSize().width() - margin, area.top() + margin);
    }
}

void MenuWindow::addItems(const QMenu& menu) {
    for (QAction* item : menu.actions()) {
        if (item->isSeparator()) {
            auto* line = new QFrame(this);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            layout()->addWidget(line);
            continue;
        }
        auto* button = new QPushButton(this);
        button->setFlat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setStyleSheet(QStringLiteral("text-align: left; padding: 4px 8px;"));
        // The menu shows the hot key after a tab; here it has a line of its own.
        const auto follow = [button, item] {
            button->setText(item->text().section(QLatin1Char('\t'), 0, 0));
            button->setEnabled(item->isEnabled());
        };
        follow();
        connect(item, &QAction::changed, button, follow);
        connect(button, &QPushButton::clicked, item, &QAction::trigger);
        layout()->addWidget(button);
    }
}

void MenuWindow::showImage(const QString& name) {
    image_->setPixmap(StatusItem::image(name).pixmap(32, 32));
    state_->setText(stateText(name));
}

void MenuWindow::showHotKey(const KeyboardManager& keyboardManager) {
    const QString combination = keyboardManager.hotKeyText();
    if (combination.isEmpty()) {
        hotKey_->clear();
    } else if (keyboardManager.isHotKeyAccepted()) {
        hotKey_->setText(tr("Hot key: %1").arg(combination));
    } else {
        hotKey_->setText(tr("Hot key: %1 (taken by another program)").arg(combination));
    }
}

void MenuWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->oldSize().isValid()) move(x() - (event->size().width() - event->oldSize().width()), y());
}

void MenuWindow::present() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
}
