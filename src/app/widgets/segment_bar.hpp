#pragma once

#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

class QPushButton;

namespace celvio {

/// Equal-width segment buttons on a faint pill; the selected one is amber. A selection
/// that matches no tag highlights nothing.
class SegmentBar : public QWidget {
    Q_OBJECT

public:
    /// (tag, label) pairs in display order.
    explicit SegmentBar(std::vector<std::pair<QString, QString>> items, QWidget* parent = nullptr);

    /// Highlights the item with this tag, or none for an unknown tag.
    void setSelection(const QString& tag);
    const QString& selection() const noexcept { return selection_; }
    /// The button of a tag, for tests; null for an unknown tag.
    QPushButton* button(const QString& tag) const;

signals:
    /// A segment was clicked; the bar has already selected it.
    void selected(const QString& tag);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    std::vector<std::pair<QString, QString>> items_;
    std::vector<QPushButton*> buttons_;
    QString selection_;
};

}  // namespace celvio
