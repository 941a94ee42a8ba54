#pragma once

#include <QBoxLayout>
#include <QWidget>

namespace celvio {

/// Hides and detaches `widget` at once and deletes it back in the event loop: it may be
/// the very button or menu whose signal led to its replacement.
inline void discardLater(QWidget* widget) {
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

/// The one place in a layout whose widget is swapped as a whole (a panel, a segment).
/// The layout's parent owns the widget on show.
class WidgetSlot {
public:
    explicit WidgetSlot(QBoxLayout* layout, int stretch = 1) : layout_(layout), stretch_(stretch) {}

    QWidget* widget() const noexcept { return current_; }

    /// Shows `next` in place of the current widget, which is discarded.
    template <class Widget>
    Widget* replace(Widget* next) {
        if (current_) discardLater(current_);
        current_ = next;
        layout_->addWidget(next, stretch_);
        return next;
    }

private:
    QBoxLayout* layout_;
    int stretch_;
    QWidget* current_ = nullptr;
};

}  // namespace celvio
