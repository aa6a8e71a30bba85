#pragma once

#include <QWidget>

class QLayout;

// One row of a settings page: a 14-point label, right-aligned in a 100-point column, then 32 points of space and the
// row's controls, top-aligned.
class SettingsRow : public QWidget {
    Q_OBJECT

public:
    // The controls' frame: 285 points wide (left-aligned), at least that wide but wider where the controls need more
    // room to show their whole text, or none.
    enum class Width { Framed, FramedOrWider, Free };

    SettingsRow(const QString& label, QLayout* controls, Width width, QWidget* parent = nullptr);
};
