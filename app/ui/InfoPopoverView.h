#pragma once

#include <QFrame>

class QLabel;

// The help text of an info button, shown verbatim in a popup 300 points wide that wraps long lines.
class InfoPopoverView : public QFrame {
    Q_OBJECT

public:
    static constexpr int width = 300;

    explicit InfoPopoverView(const QString& infoText, QWidget* parent = nullptr);

    QString infoText() const;

private:
    QLabel* label_;
};
