#pragma once

#include <QFont>

// The text roles of the windows, each a fixed size in device-independent pixels (lengths and text sizes of the windows
// are in the same unit), in the desktop's font family.
enum class FontRole { Footnote, Caption, Subheadline, Body, Headline, Title3, Title2, Title };

QFont fontFor(FontRole role);
