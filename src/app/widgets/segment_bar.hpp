#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QPushButton;

namespace celvio {

/// Equal-width segment buttons on a faint pill; the selected one is amber. Segments are
/// known by their position; none is selected until `setSelection`. Each segment is a Tab
/// stop; Left and Right choose the neighbour, Space and Return the focused one.
class SegmentBar : public QWidget {
    Q_OBJECT

public:
    /// The labels in display order.
    explicit SegmentBar(const QStringList& labels, QWidget* parent = nullptr);

    /// Highlights the segment at `index`.
    void setSelection(int index);
    /// The highlighted segment's position; -1 for none.
    int selection() const noexcept { return selection_; }
    /// The button at `index`, for tests.
    QPushButton* button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }

signals:
    /// A segment was chosen by the pointer or the keys; the bar has already selected it.
    void selected(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void choose(int index);
    void restyle();

    std::vector<QPushButton*> buttons_;
    int selection_ = -1;
};

}  // namespace celvio
