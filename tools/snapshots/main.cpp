#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "Snapshots.h"

// Renders the application's windows to PNG files without a display. HOME and the XDG folders point at a temporary
// folder, so the pictures never show (or change) the user's own settings, models or dictations.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QString outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir home;
    if (!home.isValid() || !QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot prepare the folders\n");
        return 1;
    }
    const QByteArray root = home.path().toLocal8Bit();
    setenv("HOME", root.constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/.config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/.cache").constData(), 1);
    setenv("XDG_DOCUMENTS_DIR", (root + "/Documents").constData(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Pictures at twice the size, drawn sharp at that scale.
    if (!std::getenv("QT_SCALE_FACTOR")) setenv("QT_SCALE_FACTOR", "2", 1);

    QApplication app(argc, argv);
    const int written = renderSettingsSnapshots(outDir) + renderHistorySnapshots(outDir);
    std::printf("%d pictures in %s\n", written, qPrintable(outDir));
    return 0;
}
