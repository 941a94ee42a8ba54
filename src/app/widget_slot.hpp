#pragma once

#include <QBoxLayout>
#include <QWidget>

#include <memory>

namespace celvio {

/// The one place in a layout whose widget is swapped as a whole (a panel, a segment).
/// The layout's parent owns the widget on show; the slot deletes the one it replaces.
class WidgetSlot {
public:
    explicit WidgetSlot(QBoxLayout* layout, int stretch = 1) : layout_(layout), stretch_(stretch) {}

    QWidget* widget() const noexcept { return current_; }

    /// Shows `next` in place of the current widget, which is deleted.
    template <class Widget>
    Widget* replace(Widget* next) {
        const std::unique_ptr<QWidget> old(current_);
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
