#pragma once

#include <QAbstractButton>
#include <functional>

// One tab of the settings window: a symbol above a short caption in a 60 x 50 button. The selected tab is drawn in
// the full text colour, the others at half; the pointer over any tab lays a light gray rounded highlight behind it.
class TabButton : public QAbstractButton {
    Q_OBJECT

public:
    // `name` is shown verbatim; `icon` is a symbol name.
    TabButton(const QString& name, const QString& icon, bool isSelected, std::function<void()> action,
              QWidget* parent = nullptr);

    const QString& name() const { return name_; }
    bool isSelected() const { return isSelected_; }
    void setSelected(bool selected);
    bool isHovered() const { return isHovered_; }

    QColor tint() const;
    QColor background() const;

    QSize sizeHint() const override { return {60, 50}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString name_;
    QString icon_;
    bool isSelected_;
    bool isHovered_ = false;
};
