#include "widgets/stat_cell.hpp"

#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>

namespace celvio {

StatCell::StatCell(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    // Tight enough for four rows of tiles under the gauges at the window's fixed height.
    column->setContentsMargins(8, 5, 8, 5);
    column->setSpacing(1);
    auto* heading = new QHBoxLayout;
    heading->setSpacing(4);
    symbol_ = Symbols::label("", 10, Theme::cream(), this);
    symbol_->setFixedWidth(11);
    title_ = TextStyle::label({}, 9.5, QFont::Medium, Theme::muted(), this);
    heading->addWidget(symbol_);
    heading->addWidget(title_, 1);
    column->addLayout(heading);
    value_ = TextStyle::label({}, 13, QFont::DemiBold, Theme::cream(), this);
    note_ = TextStyle::label({}, 9, QFont::Normal, Theme::faint(), this);
    for (QLabel* text : {value_, note_}) {
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        column->addWidget(text);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StatCell::setStat(const StatSpec& stat) {
    if (stat == stat_) return;
    stat_ = stat;
    symbol_->setText(Symbols::glyph(stat.symbol));
    TextStyle::setTextColour(symbol_, stat.tint);
    title_->setText(stat.title);
    value_->setText(stat.value);
    note_->setText(stat.note.value_or(" "));
    setObjectName("stat:" + stat.title);
    setAccessibleName(stat.title + " " + stat.value);
    setAccessibleDescription(stat.note.value_or(QString()));
}

void StatCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::card());
    painter.drawRoundedRect(QRectF(rect()), 9, 9);
}

}  // namespace celvio
