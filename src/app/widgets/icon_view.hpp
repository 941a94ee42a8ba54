#pragma once

#include <QPixmap>
#include <QWidget>

namespace celvio {

/// A device icon scaled to fit its fixed square, drawn from the large cached image so it
/// stays sharp at any pixel ratio.
class IconView : public QWidget {
    Q_OBJECT

public:
    explicit IconView(int side, QWidget* parent = nullptr);
    void setIcon(const QPixmap& icon);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int side_;
    QPixmap icon_;
};

}  // namespace celvio
