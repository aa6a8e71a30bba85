#pragma once

#include "engine/Recording.h"

#include <QAbstractScrollArea>
#include <QUuid>

#include <optional>
#include <vector>

class RecordingCard;

// The scrolling column of recording cards in the history window. Only the cards in view exist as widgets, and they are
// reused while scrolling, so a history of thousands of dictations opens and filters as fast as a short one.
class RecordingCardList : public QAbstractScrollArea {
    Q_OBJECT

public:
    static constexpr int cardSpacing = 8;
    static constexpr int topPadding = 5;
    static constexpr int sidePadding = 15;  // left, right and bottom

    explicit RecordingCardList(QWidget* parent = nullptr);

    // The recordings to show, in order. The pointers must stay valid until the next call.
    void setRecordings(std::vector<const Recording*> recordings);
    std::size_t count() const { return recordings_.size(); }
    void setSelectedId(std::optional<QUuid> id);

    // Scrolls so that the card of `id` sits at the centre of the view; false (and no scrolling) when it is not listed.
    bool centreOn(const QUuid& id);

    // The card widgets now in view, top to bottom.
    std::vector<RecordingCard*> visibleCards() const;

    QSize sizeHint() const override;

signals:
    void recordingClicked(const QUuid& id);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int slotTop(std::size_t index) const;
    void updateScrollRange();
    void layoutCards();

    std::vector<const Recording*> recordings_;
    std::optional<QUuid> selectedId_;
    // The first shownCount_ cards show the recordings in view, top to bottom; spare ones are hidden.
    std::vector<RecordingCard*> cards_;
    std::size_t shownCount_ = 0;
};
