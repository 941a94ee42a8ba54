#pragma once

#include "panels/panel_data.hpp"

#include <QWidget>

class QLabel;

namespace celvio {

/// One stat tile: symbol and title, the value, a note (a blank line when there is none,
/// so every tile is as tall as the others) on a card.
class StatCell : public QWidget {
    Q_OBJECT

public:
    explicit StatCell(QWidget* parent = nullptr);

    /// Shows `stat`; a tile keeps its widgets, so refreshes only change texts.
    void setStat(const StatSpec& stat);
    const StatSpec& stat() const noexcept { return stat_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    StatSpec stat_;
    QLabel* symbol_;
    QLabel* title_;
    QLabel* value_;
    QLabel* note_;
};

}  // namespace celvio
