#include "widgets/segment_bar.hpp"

#include "style/focus_ring.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QBoxLayout>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace celvio {

SegmentBar::SegmentBar(const QStringList& labels, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    for (const QString& label : labels) {
        auto* button = new QPushButton(label, this);
        button->setFlat(true);
        button->setFocusPolicy(Qt::TabFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setFixedHeight(22);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this,
                [this, index = static_cast<int>(buttons_.size())] { choose(index); });
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

void SegmentBar::choose(int index) {
    setSelection(index);
    emit selected(index);
}

bool SegmentBar::eventFilter(QObject* watched, QEvent* event) {
    const auto found = std::ranges::find(buttons_, watched);
    if (found == buttons_.end()) return QWidget::eventFilter(watched, event);
    const int index = static_cast<int>(found - buttons_.begin());
    // The mark is drawn by the bar, around the button, so it shows on the amber one too.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) update();
    if (event->type() != QEvent::KeyPress) return false;
    const auto& keyEvent = *static_cast<QKeyEvent*>(event);
    if (FocusRing::clickOnReturn(*buttons_[static_cast<std::size_t>(index)], keyEvent)) return true;
    const int key = keyEvent.key();
    if (key != Qt::Key_Left && key != Qt::Key_Right) return false;
    // The arrows pick the neighbour, as a tab bar does, and stop at the ends.
    const int next = index + (key == Qt::Key_Right ? 1 : -1);
    if (next >= 0 && next < static_cast<int>(buttons_.size())) {
        buttons_[static_cast<std::size_t>(next)]->setFocus(Qt::TabFocusReason);
        choose(next);
    }
    return true;
}

void SegmentBar::restyle() {
    const QString on = Theme::onAmber().name(QColor::HexRgb), amber = Theme::amber().name(QColor::HexRgb);
    const QString muted = Theme::muted().name(QColor::HexArgb);
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        const bool chosen = static_cast<int>(i) == selection_;
        buttons_[i]->setFont(TextStyle::font(11, chosen ? QFont::DemiBold : QFont::Medium));
        // No outline: the style's own focus frame would fill the button; the bar draws the mark.
        buttons_[i]->setStyleSheet(
            chosen ? "QPushButton { background: " + amber + "; color: " + on +
                         "; border: none; border-radius: 6px; outline: none; }"
                   : "QPushButton { background: transparent; color: " + muted + "; border: none; outline: none; }");
        buttons_[i]->setAccessibleDescription(chosen ? "Selected" : QString());
    }
}

void SegmentBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::white(0.06));
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
    for (const QPushButton* button : buttons_)
        FocusRing::paint(painter, *button, QRectF(button->geometry()).adjusted(-2, -2, 2, 2), 8);
}

}  // namespace celvio
