#pragma once

#include <QMessageBox>

// How the application tells the user something outside its windows: a message box with a single "OK" button that
// neither takes the keyboard focus nor blocks the application. A notice can arrive between a press of the hot key and
// the paste of its text, which goes to whatever window has the focus; it is read, and closed, by mouse. It frees
// itself when closed. GUI thread only.
class Notice : public QMessageBox {
    Q_OBJECT

public:
    // The title is the window's title and the notice's text.
    Notice(Icon icon, const QString& title);

    // Shows the notice with this message under its title, in front of other windows, leaving the focus where it is.
    void present(const QString& message);
};
