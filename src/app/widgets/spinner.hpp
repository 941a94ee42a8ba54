#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QWidget>

namespace celvio {

/// A small indeterminate progress indicator. It only animates while visible, so a
/// hidden one costs nothing.
class Spinner : public QWidget {
    Q_OBJECT

public:
    /// A square of `side` pixels.
    explicit Spinner(int side = 16, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int side_;
    int step_ = 0;
    QBasicTimer timer_;
};

}  // namespace celvio
