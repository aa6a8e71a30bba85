#include "shell/RecordingWindow.h"

#include "platform/CompositingManager.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

RecordingWindow::RecordingWindow(QWidget* content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      content_(content) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Vellumcaster"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content_);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void RecordingWindow::present() {
    updateShape();
    show();
    raise();
}

void RecordingWindow::updateShape() {
    // Without a compositing manager the transparent corners would show black: the window takes the rounded shape
    // instead. The check is made at every showing, as one may start or stop in between.
    if (CompositingManager::isRunning()) {
        clearMask();
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void RecordingWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!mask().isEmpty()) updateShape();
}

void RecordingWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor background = palette().color(QPalette::Window);
    if (!mask().isEmpty()) {
        // Shaped: nothing would blend a translucent or smoothed edge with what lies behind, so the panel is opaque
        // up to the shape's edge.
        painter.fillRect(rect(), background);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    background.setAlphaF(0.92f);
    painter.fillPath(path, background);
}

void RecordingWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(event);
}
