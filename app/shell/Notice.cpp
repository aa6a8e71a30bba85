#include "shell/Notice.h"

Notice::Notice(Icon icon, const QString& title) : QMessageBox(icon, title, title, QMessageBox::Ok) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // A message box is modal for the whole application otherwise: the menu window stays usable. This sets the
    // window's flags afresh, so it comes before the flag below.
    setWindowModality(Qt::NonModal);
    // Also keeps a click on the notice from taking the focus.
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    // Above the recording window, which stays over everything while a dictation runs (in the middle of the screen,
    // where a notice shows too).
    setWindowFlag(Qt::WindowStaysOnTopHint);
}

void Notice::present(const QString& message) {
    setInformativeText(message);
    show();
    raise();
}
