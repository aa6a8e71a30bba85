#include "ui/HistoryNavigation.h"

#include <algorithm>

std::optional<std::uint16_t> HistoryNavigation::keyCode(int qtKey) {
    if (qtKey == Qt::Key_Down) return downArrowKeyCode;
    if (qtKey == Qt::Key_Up) return upArrowKeyCode;
    return std::nullopt;
}

std::optional<std::size_t> HistoryNavigation::navigate(const std::vector<const Recording*>& recordings,
                                                       const std::optional<QUuid>& selectedId,
                                                       std::uint16_t keyCode) {
    if (keyCode != downArrowKeyCode && keyCode != upArrowKeyCode) return std::nullopt;
    std::size_t current = 0;
    if (selectedId) {
        const auto found = std::find_if(recordings.begin(), recordings.end(),
                                        [&](const Recording* r) { return r->id == *selectedId; });
        if (found != recordings.end()) current = static_cast<std::size_t>(found - recordings.begin());
    }
    if (recordings.empty()) return std::nullopt;
    const std::size_t count = recordings.size();
    const std::size_t next = keyCode == downArrowKeyCode ? (current + 1 < count ? current + 1 : 0)
                                                         : (current == 0 ? count - 1 : current - 1);
    if (next == current) return std::nullopt;
    return next;
}
