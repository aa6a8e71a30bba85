#include "shell/KeyboardManager.h"

#include "platform/AppLog.h"
#include "shell/hotkey/HotKeysController.h"

#include <QThreadPool>

#include <algorithm>

namespace {

// The row whose id is `id`, or the row whose id is `fallback`.
template <typename Table>
const typename Table::value_type& rowFor(const Table& table, const std::string& id, std::string_view fallback) {
    const auto byId = [](std::string_view wanted) { return [wanted](const auto& row) { return row.id == wanted; }; };
    const auto it = std::find_if(table.begin(), table.end(), byId(id));
    return it != table.end() ? *it : *std::find_if(table.begin(), table.end(), byId(fallback));
}

}  // namespace

KeyboardManager::KeyboardManager(SettingsStore& settings, TaskSpawner spawn, QObject* parent)
    : QObject(parent), settings_(settings), spawn_(std::move(spawn)) {
    if (!spawn_) {
        spawn_ = [](Action task) { QThreadPool::globalInstance()->start(std::move(task)); };
    }
    connect(&settings_, &SettingsStore::valueChanged, this, [this](const QString& key) {
        if (key == QLatin1String(primaryKeySetting)) emit selectedPrimaryKeyChanged();
        if (key == QLatin1String(modifierKeySetting)) emit selectedModifierKeyChanged();
    });
}

KeyboardManager::~KeyboardManager() = default;

void KeyboardManager::registerHotKey() {
    const PrimaryKey& primary = rowFor(primaryKeys, selectedPrimaryKey().toStdString(), "space");
    const ModifierKey& modifier = rowFor(modifierKeys, selectedModifierKey().toStdString(), "option");
    // Built (and so registered) before the old one is dropped.
    auto next = std::make_unique<HotKey>(primary.flag, modifier.flag);
    hotKey_ = std::move(next);
    // The action taken at release time, so a task never refers back to a manager that may be gone by then.
    hotKey_->keyUpHandler = [this] { spawn_(toggleRecord); };

    hotKeyText_ = QString::fromStdString(hotKey_->keyCombo().label());
    emit hotKeyRegistered(isHotKeyAccepted());
}

bool KeyboardManager::isHotKeyAccepted() const { return hotKey_ && HotKeysController::isAccepted(*hotKey_); }

void KeyboardManager::registerEscapeHotKey(Key key, ModifierFlags modifiers) {
    if (hotKeyEscape_) {
        AppLog::info("Must deregister hotkey before registering again");
        return;
    }
    hotKeyEscape_ = std::make_unique<HotKey>(key, modifiers);
    hotKeyEscape_->keyUpHandler = [this] { spawn_(cancelRecord); };
}

QString KeyboardManager::selectedPrimaryKey() const {
    return QString::fromStdString(settings_.stringValue(primaryKeySetting, "space"));
}

void KeyboardManager::setSelectedPrimaryKey(const QString& id) {
    settings_.setString(primaryKeySetting, id.toStdString());
}

QString KeyboardManager::selectedModifierKey() const {
    return QString::fromStdString(settings_.stringValue(modifierKeySetting, "option"));
}

void KeyboardManager::setSelectedModifierKey(const QString& id) {
    settings_.setString(modifierKeySetting, id.toStdString());
}
