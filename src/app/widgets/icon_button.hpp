#pragma once

#include <QAbstractButton>

#include <string>

namespace celvio {

/// The small round symbol button of the panels: the symbol at 10 px in cream, centred
/// in a 24 x 24 circle of white at 8 %; the whole circle reacts. The help text is the
/// tool tip and the accessible name; `clicked` is the action. Tab reaches it, Space and
/// Return press it.
class IconButton : public QAbstractButton {
    Q_OBJECT

public:
    IconButton(std::string symbol, const QString& help, QWidget* parent = nullptr);

    const std::string& symbol() const noexcept { return symbol_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    std::string symbol_;
};

}  // namespace celvio
