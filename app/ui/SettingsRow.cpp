#include "ui/SettingsRow.h"

#include <QHBoxLayout>
#include <QLabel>

SettingsRow::SettingsRow(const QString& label, QLayout* controls, Width width, QWidget* parent) : QWidget(parent) {
    auto* title = new QLabel(label, this);
    QFont font = title->font();
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    title->setFont(font);
    title->setFixedWidth(100);
    title->setAlignment(Qt::AlignRight | Qt::AlignTop);

    auto* frame = new QWidget(this);
    controls->setContentsMargins(0, 0, 0, 0);
    frame->setLayout(controls);
    if (width == Width::Framed) frame->setFixedWidth(285);
    if (width == Width::FramedOrWider) frame->setMinimumWidth(285);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(32);
    row->addWidget(title, 0, Qt::AlignTop);
    row->addWidget(frame, 0, Qt::AlignTop | Qt::AlignLeft);
    row->addStretch();
}
