#include "ui/RecordingCardList.h"

#include "ui/RecordingCard.h"

#include <QScrollBar>

#include <algorithm>

namespace {

constexpr int slotHeight = RecordingCard::cardHeight + RecordingCardList::cardSpacing;

}  // namespace

RecordingCardList::RecordingCardList(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(20);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

QSize RecordingCardList::sizeHint() const {
    return QSize(RecordingCard::cardWidth + 2 * sidePadding + verticalScrollBar()->sizeHint().width(), 600);
}

void RecordingCardList::setRecordings(std::vector<const Recording*> recordings) {
    recordings_ = std::move(recordings);
    updateScrollRange();
    layoutCards();
}

void RecordingCardList::setSelectedId(std::optional<QUuid> id) {
    selectedId_ = id;
    for (std::size_t k = 0; k < shownCount_; ++k) cards_[k]->setSelected(id && cards_[k]->recording().id == *id);
}

bool RecordingCardList::centreOn(const QUuid& id) {
    const auto found = std::find_if(recordings_.begin(), recordings_.end(), [&](const Recording* r) { return r->id == id; });
    if (found == recordings_.end()) return false;
    const int centre = slotTop(static_cast<std::size_t>(found - recordings_.begin())) + RecordingCard::cardHeight / 2;
    verticalScrollBar()->setValue(centre - viewport()->height() / 2);
    return true;
}

std::vector<RecordingCard*> RecordingCardList::visibleCards() const {
    return std::vector<RecordingCard*>(cards_.begin(), cards_.begin() + static_cast<std::ptrdiff_t>(shownCount_));
}

int RecordingCardList::slotTop(std::size_t index) const { return topPadding + static_cast<int>(index) * slotHeight; }

void RecordingCardList::updateScrollRange() {
    const int n = static_cast<int>(recordings_.size());
    const int contentHeight =
        n == 0 ? 0 : topPadding + n * RecordingCard::cardHeight + (n - 1) * cardSpacing + sidePadding;
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setRange(0, std::max(0, contentHeight - viewport()->height()));
}

void RecordingCardList::layoutCards() {
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    std::size_t first = 0;
    std::size_t end = 0;
    if (!recordings_.empty()) {
        first = static_cast<std::size_t>(std::max(0, (top - topPadding) / slotHeight));
        end = std::min(recordings_.size(), static_cast<std::size_t>(std::max(0, (bottom - topPadding) / slotHeight + 1)));
        first = std::min(first, end);
    }
    const std::size_t needed = end - first;
    while (cards_.size() < needed) {
        auto* card = new RecordingCard(*recordings_[first + cards_.size()], false, viewport());
        connect(card, &RecordingCard::clicked, this, [this, card] { emit recordingClicked(card->recording().id); });
        cards_.push_back(card);
    }
    for (std::size_t k = 0; k < cards_.size(); ++k) {
        RecordingCard* card = cards_[k];
        if (k >= needed) {
            card->hide();
            continue;
        }
        const Recording& recording = *recordings_[first + k];
        if (card->recording().id != recording.id) {
            card->setRecording(recording);
            // A card that now shows another dictation starts unhovered unless the pointer really is on it.
            card->setHovering(card->underMouse());
        }
        card->setSelected(selectedId_ && recording.id == *selectedId_);
        card->move(sidePadding, slotTop(first + k) - top);
        card->show();
    }
    shownCount_ = needed;
}

void RecordingCardList::scrollContentsBy(int, int) { layoutCards(); }

void RecordingCardList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    layoutCards();
}
