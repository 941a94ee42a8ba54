#include "widgets/strip_button.hpp"

#include "widgets/ring_gauge.hpp"
#include "style/focus_ring.hpp"
#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>

namespace celvio {
namespace {

constexpr int ringSide = 38;
constexpr int labelWidth = 48;

}  // namespace

StripButton::StripButton(Look look, QWidget* icon, QWidget* parent)
    : QAbstractButton(parent), look_(std::move(look)), icon_(icon) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);  // the strip is one focus stop for all its buttons
    setAccessibleName(look_.spoken.isEmpty() ? look_.label : look_.spoken);
    setAccessibleDescription(look_.detail);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(3, 5, 3, 5);
    column->setSpacing(3);

    auto* square = new QWidget(this);
    square->setFixedSize(ringSide, ringSide);
    ring_ = new MiniRing(square);
    if (look_.charge)
        ring_->setArc(*look_.charge / 100, Theme::chargeTint(*look_.charge));
    else
        ring_->setEmpty(look_.dimmed);
    icon_->setParent(square);
    icon_->move((ringSide - icon_->width()) / 2, (ringSide - icon_->height()) / 2);
    if (look_.badge) {
        QLabel* badge = Symbols::label(*look_.badge, 7, Theme::cream(), square);
        badge->setObjectName("badge");
        badge->setFixedSize(12, 12);
        badge->setStyleSheet("background: " + Theme::blue().name() + "; border-radius: 6px;");
        badge->move(ringSide - 12, ringSide - 12);
    }
    column->addWidget(square, 0, Qt::AlignHCenter);

    QLabel* label = TextStyle::label({}, 9, look_.selected ? QFont::DemiBold : QFont::Normal,
                                     look_.selected ? Theme::cream() : Theme::muted(), this);
    label->setFixedSize(labelWidth, label->fontMetrics().height());  // one line
    label->setAlignment(Qt::AlignHCenter);
    label->setText(label->fontMetrics().elidedText(look_.label, Qt::ElideRight, labelWidth));
    column->addWidget(label, 0, Qt::AlignHCenter);
    setToolTip(!look_.detail.isEmpty() ? look_.detail : label->text() != look_.label ? look_.label : QString());
    // However many buttons there are: the strip scrolls instead.
    setFixedSize(column->sizeHint());

    // The whole button takes the clicks.
    for (QWidget* child : findChildren<QWidget*>()) child->setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize StripButton::sizeHint() const { return layout()->sizeHint(); }

void StripButton::setMarked(bool marked) {
    if (marked == marked_) return;
    marked_ = marked;
    update();
}

void StripButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (look_.selected) {
        painter.setBrush(Theme::withOpacity(Theme::amber(), 0.18));
        painter.setPen(QPen(Theme::withOpacity(Theme::amber(), 0.4), 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    }
    // Qt's own styles show focus only once the keyboard moved it (never for the focus a
    // window gives its first control on opening, nor after a click); so does the strip.
    if (marked_ && parentWidget() && window()->testAttribute(Qt::WA_KeyboardFocusChange))
        FocusRing::paint(painter, *parentWidget(), QRectF(rect()), 10);
}

}  // namespace celvio
