#pragma once

#include "engine/Recording.h"

#include <QUuid>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The arrow-key rule of the history window: Down moves to the next (older) dictation and Up to the previous (newer)
// one of the list the window shows, wrapping around at both ends.
class HistoryNavigation {
public:
    HistoryNavigation() = delete;

    // The virtual key codes the rule knows.
    static constexpr std::uint16_t downArrowKeyCode = 125;
    static constexpr std::uint16_t upArrowKeyCode = 126;

    // The virtual key code of a Qt key; nullopt for every key the rule does not handle.
    static std::optional<std::uint16_t> keyCode(int qtKey);

    // The index to select after a key, or nullopt when the key passes through unchanged: another key, an empty list,
    // or a list of one. The current index is that of `selectedId` in `recordings`, 0 when nothing (or nothing listed)
    // is selected.
    static std::optional<std::size_t> navigate(const std::vector<const Recording*>& recordings,
                                               const std::optional<QUuid>& selectedId, std::uint16_t keyCode);
};
