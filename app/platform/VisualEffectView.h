#pragma once

#include <QWidget>

// The desktop's translucent material view, which the window recipe puts behind every window's content and the history
// window beside its main column. X11 has no behind-window blur, so the material is a translucent fill of its own tint
// over whatever the compositor shows through the window. Changing the material repaints the same widget in place.
class VisualEffectView : public QWidget {
    Q_OBJECT

public:
    // The materials in use, with the platform's numbering.
    enum class Material { Sidebar = 7, UnderWindowBackground = 21 };
    enum class BlendingMode { BehindWindow = 0, WithinWindow = 1 };

    explicit VisualEffectView(Material material, QWidget* parent = nullptr);

    Material material() const { return material_; }
    void setMaterial(Material material);
    // Always behind the window: the material tints what lies behind the window, not sibling widgets.
    BlendingMode blendingMode() const { return BlendingMode::BehindWindow; }

    // The fill colour of a material on a window of this palette.
    static QColor tint(Material material, const QPalette& palette);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Material material_;
};
