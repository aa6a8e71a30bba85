#pragma once

#include "engine/Recording.h"

#include <QWidget>

class QLabel;
class TextBlock;

// One row of the history list: the date of a stored dictation, its processing time and its text on a translucent
// rounded card of fixed size 350 x 125, with a gray border when it is the selected card (opacity 0.6) or under the
// pointer (0.4). The card only draws and tracks hover; the list handles clicks.
class RecordingCard : public QWidget {
    Q_OBJECT

public:
    static constexpr int cardWidth = 350;
    static constexpr int cardHeight = 125;

    RecordingCard(const Recording& recording, bool isSelected, QWidget* parent = nullptr);

    const Recording& recording() const { return recording_; }
    // Shows another recording in this card (the list reuses cards while scrolling).
    void setRecording(const Recording& recording);
    bool isSelected() const { return isSelected_; }
    void setSelected(bool isSelected);
    bool isHovering() const { return isHovering_; }
    void setHovering(bool isHovering);

    // 0.6 when selected (also under the pointer), 0.4 when only hovered, 0 when there is no border.
    qreal borderOpacity() const;

    QString dateText() const;
    QString processingTimeText() const;
    QString resultText() const;
    // The text as the card draws it: the whole lines that fit, the last one ending in "…" when the text goes on.
    QStringList visibleResultLines() const;
    bool showsPlaceholder() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateTexts();
    void updateColours();

    Recording recording_;
    bool isSelected_;
    bool isHovering_ = false;
    QLabel* date_;
    QLabel* processingTime_;
    TextBlock* result_;
};
