#include "widgets/month_rows.hpp"

#include "style/ui_text.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace celvio {

namespace {

constexpr int healthWidth = 60;
constexpr int cyclesWidth = 46;
constexpr int sidePadding = 6;

/// One month; every other one lies on a faint stripe so the eye can follow a line.
class MonthRow : public QWidget {
public:
    MonthRow(bool striped, QWidget* parent) : QWidget(parent), striped_(striped) {}

protected:
    void paintEvent(QPaintEvent*) override {
        if (!striped_) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::white(0.035));
        painter.drawRoundedRect(QRectF(rect()), 4, 4);
    }

private:
    bool striped_;
};

QLabel* column(QLabel* label, int width) {
    label->setFixedWidth(width);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

}  // namespace

MonthRows::MonthRows(const std::vector<HistoryDeviceGroup::Period>& periods, QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(sidePadding, 0, sidePadding, 3);
    header->setSpacing(0);
    const auto heading = [this](const QString& text) {
        return TextStyle::label(text, 8.5, QFont::Normal, Theme::faint(), this);
    };
    header->addWidget(heading("Month"));
    header->addStretch(1);
    header->addWidget(column(heading(QString::fromUtf8("\u00f8 Health")), healthWidth));
    header->addWidget(column(heading("Cycles"), cyclesWidth));
    rows->addLayout(header);

    int index = 0;
    for (auto period = periods.rbegin(); period != periods.rend(); ++period, ++index) {
        auto* row = new MonthRow(index % 2 == 0, this);
        row->setObjectName("monthRow");
        row->setProperty("index", index);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(sidePadding, 3, sidePadding, 3);
        line->setSpacing(0);

        auto* month = TextStyle::label(UiText::fromStd(period->label), 10.5, QFont::Normal, Theme::muted(), row);
        month->setObjectName("monthLabel");
        auto* health = column(TextStyle::label(UiText::number(period->averageHealth, 0) + " %", 10.5, QFont::DemiBold,
                                               Theme::healthTint(period->averageHealth), row),
                              healthWidth);
        health->setObjectName("monthHealth");
        auto* cycles = column(
            TextStyle::label(QString::number(period->cycles), 10.5, QFont::Normal, Theme::cream(), row), cyclesWidth);
        cycles->setObjectName("monthCycles");

        line->addWidget(month);
        line->addStretch(1);
        line->addWidget(health);
        line->addWidget(cycles);
        rows->addWidget(row);
    }
}

}  // namespace celvio
