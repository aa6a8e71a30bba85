#include "ui/ContentView.h"

#include "platform/AppLog.h"
#include "platform/NotificationCenter.h"
#include "ui/FontRole.h"
#include "ui/HistoryNavigation.h"
#include "ui/HistorySymbol.h"
#include "ui/PanelBackground.h"
#include "ui/RecordingCardList.h"
#include "ui/RecordingDetail.h"
#include "platform/VisualEffectView.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace {

// The form in which the search compares texts: the Unicode default lower-case mapping (full mapping, no locale
// rules), canonically composed, so that a letter typed as one code point matches the same letter stored as a base
// letter and a combining mark, and the other way round.
QString searchForm(const QString& text) {
    icu::UnicodeString u(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    u.toLower(icu::Locale::getRoot());
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(u, status);
        if (U_SUCCESS(status)) u = composed;
    }
    return QString(reinterpret_cast<const QChar*>(u.getBuffer()), u.length());
}

// What the detail column shows while nothing is selected: the hint, with the translucent card drawn over it.
class EmptySelectionCard : public QWidget {
public:
    explicit EmptySelectionCard(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    static QString hint() { return QCoreApplication::translate("ContentView", "Start a recording (Alt + Space)"); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QColor text = palette().color(QPalette::WindowText);
        text.setAlphaF(0.75);
        painter.setPen(text);
        painter.setFont(fontFor(FontRole::Title2));
        painter.drawText(rect(), Qt::AlignCenter, hint());
        PanelBackground::paint(painter, PanelBackground::cardRect(rect()), PanelBackground::isDark(palette()));
    }
};

// The key-down monitor: every key press of the application passes here first while the history is on screen, so the
// arrow keys move the selection whatever widget of the history window has the focus. Keys of other windows, and every
// key while a popup (a drop-down list, a menu) is open, go their usual way.
class NavigationKeyMonitor : public QObject {
public:
    explicit NavigationKeyMonitor(ContentView& view) : view_(view) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* target = qobject_cast<QWidget*>(watched);
        QWidget* history = view_.window();
        if (!target || target->window() != history || QApplication::activeWindow() != history ||
            QApplication::activePopupWidget()) {
            return false;
        }
        return view_.handleNavigationKey(static_cast<QKeyEvent*>(event)->key());
    }

private:
    ContentView& view_;
};

}  // namespace

ContentView::ContentView(KeyboardManager& keyboardManager, AudioManager& audioManager, QWidget* parent)
    : QWidget(parent), keyboardManager_(keyboardManager), audioManager_(audioManager) {
    // Two views: the sidebar material, then the main column; the material is a sibling before the column, not a
    // background behind it, and takes only the room the window has beyond the column's.
    sidebar_ = new VisualEffectView(VisualEffectView::Material::Sidebar, this);
    sidebar_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* views = new QVBoxLayout(this);
    views->setContentsMargins(0, 0, 0, 0);
    views->setSpacing(0);
    views->addWidget(sidebar_, 1);
    auto* main = new QVBoxLayout;
    views->addLayout(main);
    main->setContentsMargins(0, 10, 0, 0);
    main->setSpacing(10);

    // The search row.
    auto* search = new QWidget(this);
    search->setFixedWidth(350);
    auto* searchLayout = new QHBoxLayout(search);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    auto* glass = new QLabel(search);
    glass->setPixmap(HistorySymbol::pixmap("magnifyingglass", 16, palette().color(QPalette::WindowText),
                                           devicePixelRatioF()));
    searchField_ = new QLineEdit(search);
    searchField_->setPlaceholderText(QCoreApplication::translate("ContentView", "Search..."));
    searchField_->setClearButtonEnabled(false);
    searchLayout->addWidget(glass);
    searchLayout->addWidget(searchField_);
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(20, 0, 20, 0);
    searchRow->addWidget(search);
    searchRow->addStretch(1);
    main->addLayout(searchRow);

    // The content row: the list column and the detail column, 800 x 600.
    auto* content = new QWidget(this);
    content->setFixedSize(800, 600);
    auto* contentLayout = new QHBoxLayout(content);
    contentLayout->setContentsMargins(10, 0, 10, 0);
    contentLayout->setSpacing(8);

    auto* listColumn = new QWidget(content);
    auto* listLayout = new QVBoxLayout(listColumn);
    listLayout->setContentsMargins(0, 0, 0, 0);
    cardList_ = new RecordingCardList(listColumn);
    noRecordings_ = new QLabel(QCoreApplication::translate("ContentView", "No recordings found"), listColumn);
    noRecordings_->setFont(fontFor(FontRole::Title2));
    noRecordings_->setAlignment(Qt::AlignCenter);
    noRecordings_->setFixedWidth(cardList_->sizeHint().width());
    QPalette faded = noRecordings_->palette();
    QColor fadedText = faded.color(QPalette::WindowText);
    fadedText.setAlphaF(0.75);
    faded.setColor(QPalette::WindowText, fadedText);
    noRecordings_->setPalette(faded);
    listLayout->addWidget(cardList_);
    listLayout->addWidget(noRecordings_);
    contentLayout->addWidget(listColumn);

    detailColumn_ = new QWidget(content);
    auto* detailLayout = new QVBoxLayout(detailColumn_);
    detailLayout->setContentsMargins(0, 0, 10, 10);
    emptySelection_ = new EmptySelectionCard(detailColumn_);
    detailLayout->addWidget(emptySelection_);
    contentLayout->addWidget(detailColumn_, 1);
    main->addWidget(content);

    connect(searchField_, &QLineEdit::textChanged, this, [this] { updateList(); });
    connect(cardList_, &RecordingCardList::recordingClicked, this, &ContentView::selectRecording);
    // The notification comes from the shell's completion task; the queued connection brings the reload to the GUI
    // thread, and it ends with this view.
    connect(&NotificationCenter::defaultCenter(), &NotificationCenter::posted, this,
            [this](const QString& name) {
                if (name == QLatin1String("recordingComplete")) reloadRecordings();
            },
            Qt::QueuedConnection);

    updateList();
}

ContentView::~ContentView() {
    loaded_->close();
    removeKeyMonitor();
}

QString ContentView::searchTerm() const { return searchField_->text(); }

void ContentView::setSearchTerm(const QString& term) { searchField_->setText(term); }

std::vector<const Recording*> ContentView::filteredRecordings() const {
    std::vector<const Recording*> shown;
    const QString term = searchTerm();
    if (term.isEmpty()) {
        shown.reserve(recordings_.size());
        for (const Recording& recording : recordings_) shown.push_back(&recording);
        return shown;
    }
    const QString needle = searchForm(term);
    for (std::size_t i = 0; i < recordings_.size(); ++i) {
        if (searchableResults_[i].contains(needle)) shown.push_back(&recordings_[i]);
    }
    return shown;
}

bool ContentView::showsNoRecordingsText() const { return !noRecordings_->isHidden(); }

void ContentView::reloadRecordings() {
    const std::uint64_t generation = ++reloadGeneration_;
    // Reading every meta.json of a long history takes a while, so it happens off the GUI thread.
    const bool started = loads_.start([this, loaded = loaded_, generation] {
        std::vector<Recording> recordings = fetchRecordings();
        std::vector<QString> searchableResults;
        searchableResults.reserve(recordings.size());
        for (const Recording& recording : recordings) {
            searchableResults.push_back(searchForm(QString::fromStdString(recording.metadata.result)));
        }
        // Runs only while the view lives.
        loaded->post([this, generation, recordings = std::move(recordings),
                      searchableResults = std::move(searchableResults)]() mutable {
            if (reloadGeneration_ != generation) return;
            applyLoaded(std::move(recordings), std::move(searchableResults));
        });
    });
    if (!started) AppLog::error("The dictation history could not be read: the system refused a thread for it");
}

void ContentView::applyLoaded(std::vector<Recording> recordings, std::vector<QString> searchableResults) {
    // The selection is a copy, so it stays valid while the list it came from is replaced.
    recordings_ = std::move(recordings);
    searchableResults_ = std::move(searchableResults);
    updateList(true);
    emit recordingsReloaded();
}

void ContentView::selectRecording(const QUuid& id) {
    lastNavigationActionKeyboard_ = false;
    if (selectedRecording_ && selectedRecording_->id == id) return;
    const auto found =
        std::find_if(recordings_.begin(), recordings_.end(), [&](const Recording& r) { return r.id == id; });
    if (found != recordings_.end()) setSelectedRecording(*found);
}

bool ContentView::handleNavigationKey(int qtKey) {
    const std::optional<std::uint16_t> code = HistoryNavigation::keyCode(qtKey);
    if (!code) return false;
    const std::optional<QUuid> selectedId =
        selectedRecording_ ? std::optional<QUuid>(selectedRecording_->id) : std::nullopt;
    const std::vector<const Recording*> shown = filteredRecordings();
    const std::optional<std::size_t> next = HistoryNavigation::navigate(shown, selectedId, *code);
    if (!next) return false;
    // The flag goes first: it decides whether the new selection is scrolled into view.
    lastNavigationActionKeyboard_ = true;
    setSelectedRecording(*shown[*next]);
    return true;
}

void ContentView::setSelectedRecording(std::optional<Recording> recording) {
    const std::optional<QUuid> oldId = selectedRecording_ ? std::optional<QUuid>(selectedRecording_->id) : std::nullopt;
    selectedRecording_ = std::move(recording);
    const std::optional<QUuid> newId =
        selectedRecording_ ? std::optional<QUuid>(selectedRecording_->id) : std::nullopt;
    cardList_->setSelectedId(newId);

    if (selectedRecording_) {
        if (detail_) {
            detail_->setRecording(*selectedRecording_);
        } else {
            detail_ = new RecordingDetail(*selectedRecording_, detailColumn_);
            detailColumn_->layout()->addWidget(detail_);
            emptySelection_->hide();
            detail_->show();
        }
    } else if (detail_) {
        // Removed later: a key or click handler of the detail may still be on the stack.
        detail_->hide();
        detail_->deleteLater();
        detail_ = nullptr;
        emptySelection_->show();
    }

    if (newId && newId != oldId && lastNavigationActionKeyboard_) cardList_->centreOn(*newId);
}

void ContentView::updateList(bool selectNewest) {
    std::vector<const Recording*> shown = filteredRecordings();
    const bool empty = shown.empty();
    // The detail shows a dictation of the list: the newest after a load; else the selection while the list holds it,
    // and the list's first once it does not.
    std::optional<Recording> selection;
    if (!empty) {
        const auto kept = std::find_if(shown.begin(), shown.end(), [this](const Recording* r) {
            return selectedRecording_ && r->id == selectedRecording_->id;
        });
        selection = **(selectNewest || kept == shown.end() ? shown.begin() : kept);
    }
    cardList_->setRecordings(std::move(shown));
    cardList_->setVisible(!empty);
    noRecordings_->setVisible(empty);
    const auto idOf = [](const std::optional<Recording>& r) { return r ? std::optional<QUuid>(r->id) : std::nullopt; };
    if (selectNewest || idOf(selection) != idOf(selectedRecording_)) setSelectedRecording(std::move(selection));
}

void ContentView::installKeyMonitor() {
    // Showing and hiding are not always paired; a second monitor would move the selection twice per key.
    if (keyMonitor_) return;
    keyMonitor_ = std::make_unique<NavigationKeyMonitor>(*this);
    qApp->installEventFilter(keyMonitor_.get());
}

void ContentView::removeKeyMonitor() {
    if (!keyMonitor_) return;
    qApp->removeEventFilter(keyMonitor_.get());
    keyMonitor_.reset();
}

void ContentView::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        // Every opening of the history builds a new window; a closed one must go away with its observers instead of
        // reloading in the background for the rest of the process.
        window()->setAttribute(Qt::WA_DeleteOnClose);
        reloadRecordings();
        installKeyMonitor();
    }
    QWidget::showEvent(event);
}

void ContentView::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) removeKeyMonitor();
    QWidget::hideEvent(event);
}
