#pragma once

#include <QString>

// Each renders its windows and pages, in each of their states, to PNG files in `outDir`, and returns the number of
// files written.
int renderSettingsSnapshots(const QString& outDir);
int renderHistorySnapshots(const QString& outDir);
