#include "widgets/segment_bar.hpp"

#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QBoxLayout>
#include <QPainter>
#include <QPushButton>

namespace celvio {

SegmentBar::SegmentBar(const QStringList& labels, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    for (const QString& label : labels) {
        auto* button = new QPushButton(label, this);
        button->setFlat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setFixedHeight(22);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this, [this, index = static_cast<int>(buttons_.size())] {
            setSelection(index);
            emit selected(index);
        });
        row->addWidget(button, 1);
        buttons_.push_back(button);
    }
    restyle();
}

void SegmentBar::setSelection(int index) {
    if (index == selection_) return;
    selection_ = index;
    restyle();
}

void SegmentBar::restyle() {
    const QString on = Theme::onAmber().name(QColor::HexRgb), amber = Theme::amber().name(QColor::HexRgb);
    const QString muted = Theme::muted().name(QColor::HexArgb);
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const bool chosen = static_cast<int>(i) == selection_;
        buttons_[i]->setFont(TextStyle::font(11, chosen ? QFont::DemiBold : QFont::Medium));
        buttons_[i]->setStyleSheet(
            chosen ? "QPushButton { background: " + amber + "; color: " + on + "; border: none; border-radius: 6px; }"
                   : "QPushButton { background: transparent; color: " + muted + "; border: none; }");
    }
}

void SegmentBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::white(0.06));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

}  // namespace celvio
