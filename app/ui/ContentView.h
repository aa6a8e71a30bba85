#pragma once

#include "engine/Recording.h"
#include "platform/Handover.h"
#include "platform/TaskThreads.h"

#include <QString>
#include <QUuid>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class AudioManager;
class KeyboardManager;
class QLabel;
class QLineEdit;
class RecordingCardList;
class RecordingDetail;
class VisualEffectView;

// The content of the dictation history window: a search field over the stored dictations as cards, newest first, and
// the selected dictation in detail. It loads the list whenever it comes on screen and after every "recordingComplete"
// notification, and while on screen the Up and Down arrow keys move the selection through the list. The selection is
// always one of the dictations the search lets through, so the detail follows the list. The window around it is freed
// when closed.
class ContentView : public QWidget {
    Q_OBJECT

public:
    // The two managers are kept for the window's life; nothing here uses them yet.
    ContentView(KeyboardManager& keyboardManager, AudioManager& audioManager, QWidget* parent = nullptr);
    ~ContentView() override;

    KeyboardManager& keyboardManager() const { return keyboardManager_; }
    AudioManager& audioManager() const { return audioManager_; }

    const std::vector<Recording>& recordings() const { return recordings_; }
    const std::optional<Recording>& selectedRecording() const { return selectedRecording_; }
    bool lastNavigationActionKeyboard() const { return lastNavigationActionKeyboard_; }
    QString searchTerm() const;
    void setSearchTerm(const QString& term);
    // The recordings whose text contains the search term, ignoring case and how accented letters are encoded; all of
    // them for an empty term.
    std::vector<const Recording*> filteredRecordings() const;

    // Reads the stored dictations off the GUI thread; when they arrive the list shows them, the newest is selected and
    // recordingsReloaded is emitted. Of overlapping reloads only the last one is applied.
    void reloadRecordings();
    // A click on the card of `id`.
    void selectRecording(const QUuid& id);
    // The arrow-key rule for a key (a Qt key code); true when the key was used and must go no further.
    bool handleNavigationKey(int qtKey);
    bool keyMonitorInstalled() const { return keyMonitor_ != nullptr; }

    QLineEdit& searchField() const { return *searchField_; }
    // The sidebar material placed before the main column.
    VisualEffectView& sidebarBackground() const { return *sidebar_; }
    RecordingCardList& cardList() const { return *cardList_; }
    // The detail of the selected recording; null while nothing is selected.
    RecordingDetail* detail() const { return detail_; }
    bool showsNoRecordingsText() const;

signals:
    void recordingsReloaded();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void applyLoaded(std::vector<Recording> recordings, std::vector<QString> searchableResults);
    void setSelectedRecording(std::optional<Recording> recording);
    // Shows the recordings the search lets through and keeps the selection among them; `selectNewest` selects the
    // first of them whatever was selected.
    void updateList(bool selectNewest = false);
    void installKeyMonitor();
    void removeKeyMonitor();

    KeyboardManager& keyboardManager_;
    AudioManager& audioManager_;
    std::unique_ptr<QObject> keyMonitor_;
    std::vector<Recording> recordings_;
    // The text of each recording in the search's form, made once per load so that typing in the search field stays
    // cheap.
    std::vector<QString> searchableResults_;
    std::optional<Recording> selectedRecording_;
    bool lastNavigationActionKeyboard_ = false;
    std::uint64_t reloadGeneration_ = 0;
    TaskThreads loads_;  // the reloads, off the GUI thread
    std::shared_ptr<Handover> loaded_ = Handover::to(this);  // where they hand the recordings over

    VisualEffectView* sidebar_;
    QLineEdit* searchField_;
    RecordingCardList* cardList_;
    QLabel* noRecordings_;
    QWidget* detailColumn_;
    QWidget* emptySelection_;
    RecordingDetail* detail_ = nullptr;
};
