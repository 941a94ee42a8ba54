#include "panels/battery_panel.hpp"

#include "style/appearance.hpp"
#include "style/ui_text.hpp"
#include "widgets/health_chart.hpp"
#include "widgets/icon_button.hpp"
#include "widgets/icon_view.hpp"
#include "widgets/kv_list.hpp"
#include "widgets/month_rows.hpp"
#include "widgets/ring_gauge.hpp"
#include "widgets/segment_bar.hpp"
#include "widgets/stat_cell.hpp"
#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QBoxLayout>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QtMath>

namespace celvio {
namespace {

/// The segment buttons' labels, in the order of PanelSegment.
const QStringList segmentLabels{"Stats", "History", "Details"};

/// The locale's long time pattern, which shows seconds, without its zone name ("t"
/// outside quoted text), which adds nothing to a time of today.
QString timeWithSeconds() {
    const QString pattern = QLocale().timeFormat(QLocale::LongFormat);
    QString kept;
    bool quoted = false;
    for (const QChar c : pattern) {
        if (c == '\'') quoted = !quoted;
        if (quoted || c != 't') kept += c;
    }
    return kept.simplified();
}

/// Scrolls a new page to where the page it replaces was, once its layout has a height.
void keepScrolled(QScrollArea* area, int position) {
    if (position > 0)
        QTimer::singleShot(0, area, [area, position] { area->verticalScrollBar()->setValue(position); });
}

}  // namespace

/// The header's one-line texts: narrower than its text, a label ends in "…" rather than
/// cutting a letter, and the whole text becomes its tool tip.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(double pixelSize, QFont::Weight weight, const QColor& colour, QWidget* parent) : QLabel(parent) {
        setFont(TextStyle::font(pixelSize, weight));
        TextStyle::setTextColour(this, colour);
    }

    void setFullText(const QString& text) {
        if (text == full_ && !this->text().isEmpty()) return;
        full_ = text;
        setAccessibleName(text);
        updateGeometry();
        elide();
    }
    QSize sizeHint() const override {
        return {qCeil(QFontMetricsF(font()).horizontalAdvance(full_)), QLabel::sizeHint().height()};
    }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() {
        const QString shown = fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width());
        setText(shown);
        setToolTip(shown == full_ ? QString() : full_);
    }

    QString full_;
};

BatteryPanel::BatteryPanel(PanelSegment segment, QWidget* parent)
    : QWidget(parent), segment_(segment), shown_(nullptr) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 10, 14, 10);
    column->setSpacing(6);  // a little under the 8 of the first design, so four rows of tiles fit

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    icon_ = new IconView(36, this);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    name_ = new ElidedLabel(14, QFont::Bold, Theme::cream(), this);
    name_->setObjectName("panelName");
    subtitle_ = new ElidedLabel(10, QFont::Normal, Theme::muted(), this);
    subtitle_->setObjectName("panelSubtitle");
    titles->addWidget(name_);
    titles->addWidget(subtitle_);
    auto* raw = new IconButton("curlybraces", "Raw battery values", this);
    raw->setObjectName("rawValues");
    refresh_ = new IconButton("arrow.clockwise", refreshHelp(std::nullopt), this);
    refresh_->setObjectName("refresh");
    refresh_->setAccessibleName("Refresh");
    connect(raw, &IconButton::clicked, this, [this] { emit rawValuesRequested(data_.name); });
    connect(refresh_, &IconButton::clicked, this, &BatteryPanel::refreshRequested);
    header->addWidget(icon_);
    header->addLayout(titles, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    buttons->addWidget(raw);
    buttons->addWidget(refresh_);
    header->addLayout(buttons);
    column->addLayout(header);

    warning_ = new QWidget(this);
    auto* warningRow = new QHBoxLayout(warning_);
    warningRow->setContentsMargins(0, 0, 0, 0);
    warningRow->setSpacing(4);
    warningText_ = TextStyle::label({}, 9.5, QFont::Normal, Theme::orange(), warning_);
    warningText_->setObjectName("warning");
    warningText_->setWordWrap(true);
    warningText_->setMaximumHeight(QFontMetrics(warningText_->font()).lineSpacing() * 2);
    warningRow->addWidget(Symbols::label("exclamationmark.triangle.fill", 10, Theme::orange(), warning_), 0,
                          Qt::AlignTop);
    warningRow->addWidget(warningText_, 1);
    warning_->hide();
    column->addWidget(warning_);

    auto* gauges = new QHBoxLayout;
    gauges->setSpacing(22);
    charge_ = new RingGauge(this);
    charge_->setObjectName("chargeGauge");
    health_ = new RingGauge(this);
    health_->setObjectName("healthGauge");
    gauges->addStretch();
    gauges->addWidget(charge_);
    gauges->addWidget(health_);
    gauges->addStretch();
    // The gauges' own edge holds the ring's glow, which stands for the gaps above and below.
    column->addLayout(gauges);

    auto* power = new QHBoxLayout;
    power->setSpacing(5);
    powerSymbol_ = Symbols::label("", 10, Theme::cream(), this);
    powerText_ = TextStyle::label({}, 10.5, QFont::Medium, Theme::cream(), this);
    powerText_->setObjectName("power");
    timeInfo_ = TextStyle::label({}, 10.5, QFont::Medium, Theme::muted(), this);
    timeInfo_->setObjectName("timeInfo");
    power->addStretch();
    power->addWidget(powerSymbol_);
    power->addWidget(powerText_);
    power->addWidget(timeInfo_);
    power->addStretch();
    column->addLayout(power);
    column->addSpacing(4);

    segments_ = new SegmentBar(segmentLabels, this);
    connect(segments_, &SegmentBar::selected, this,
            [this](int index) { chooseSegment(static_cast<PanelSegment>(index)); });
    column->addWidget(segments_);

    auto* content = new QVBoxLayout;
    content->setContentsMargins(0, 0, 0, 0);
    column->addLayout(content, 1);
    shown_ = WidgetSlot(content);
    segments_->setSelection(static_cast<int>(segment_));
}

QString BatteryPanel::refreshHelp(const std::optional<std::chrono::system_clock::time_point>& updated) {
    QString time = UiText::absent();
    if (updated) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(updated->time_since_epoch()).count();
        time = QLocale().toString(QDateTime::fromMSecsSinceEpoch(ms).time(), timeWithSeconds());
    }
    return QString::fromUtf8("Refresh \u00b7 last update ") + time;
}

void BatteryPanel::setData(PanelData data) {
    const bool detailsChanged = data.details != data_.details || shown_.widget() == nullptr;
    data_ = std::move(data);

    icon_->setIcon(Symbols::deviceIcon(data_.iconModel, data_.iconFallback));
    name_->setFullText(data_.name);
    subtitle_->setFullText(data_.subtitle);
    refresh_->setToolTip(refreshHelp(data_.updated));
    refresh_->setAccessibleDescription(refresh_->toolTip());
    warning_->setVisible(data_.warning.has_value());
    warningText_->setText(data_.warning.value_or(QString()));

    if (data_.chargePercent)
        charge_->set(*data_.chargePercent / 100, Theme::chargeTint(*data_.chargePercent),
                     QString::number(static_cast<long long>(*data_.chargePercent)) + " %", "Charge");
    else
        charge_->set(0, Theme::muted(), UiText::absent(), "Charge");
    if (data_.health)
        health_->set(*data_.health / 100, Theme::healthTint(*data_.health), UiText::percent(*data_.health, 1),
                     "Health");
    else
        health_->set(0, Theme::muted(), UiText::absent(), "Health");

    powerSymbol_->setText(Symbols::glyph(data_.power.symbol));
    TextStyle::setTextColour(powerSymbol_, data_.power.tint);
    powerText_->setText(data_.power.text);
    timeInfo_->setVisible(data_.timeInfo.has_value());
    timeInfo_->setText(data_.timeInfo ? QString::fromUtf8("\u00b7 ") + *data_.timeInfo : QString());

    if (segment_ != PanelSegment::details || detailsChanged) showSegment();
}

void BatteryPanel::chooseSegment(PanelSegment segment) {
    if (segment == segment_) return;
    segment_ = segment;
    showSegment();
    emit segmentChosen(segment);
}

void BatteryPanel::showSegment() {
    switch (segment_) {
    case PanelSegment::stats:
        showStats();
        break;
    case PanelSegment::history:
        showHistory();
        break;
    case PanelSegment::details:
        showDetails();
        break;
    }
}

void BatteryPanel::showStats() {
    // The tiles are updated in place while the stats stay on show.
    if (onShow_ == PanelSegment::stats && cells_.size() == data_.stats.size()) {
        for (std::size_t i = 0; i < cells_.size(); ++i) cells_[i]->setStat(data_.stats[i]);
        return;
    }
    // Four rows fit the window's fixed height; the scroll area is for larger fonts.
    auto* grid = new QWidget;
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    std::vector<StatCell*> cells;
    for (std::size_t i = 0; i < data_.stats.size(); ++i) {
        auto* cell = new StatCell(grid);
        cell->setStat(data_.stats[i]);
        layout->addWidget(cell, static_cast<int>(i / 2), static_cast<int>(i % 2));
        cells.push_back(cell);
    }
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(static_cast<int>((data_.stats.size() + 1) / 2), 1);
    QScrollArea* area = transparentScrollArea(grid, this);
    area->setObjectName("stats");
    shown_.replace(area);
    onShow_ = PanelSegment::stats;
    cells_ = std::move(cells);
}

void BatteryPanel::showHistory() {
    // Every device read republishes the history; the page is rebuilt, keeping its
    // position, only when this device's part of it changed.
    int scrolled = 0;
    if (onShow_ == PanelSegment::history) {
        if (data_.history == history_) return;
        if (auto* area = shown_.widget()->findChild<QScrollArea*>()) scrolled = area->verticalScrollBar()->value();
    }
    history_ = data_.history;

    auto* page = new QWidget(this);
    page->setObjectName("history");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    if (history_) {
        auto* inner = new QWidget;
        auto* list = new QVBoxLayout(inner);
        list->setContentsMargins(0, 0, 0, 8);
        list->setSpacing(8);
        auto* chart = new HealthChart({{UiText::fromStd(history_->title), history_->entries}}, inner);
        chart->setFixedHeight(96);
        list->addWidget(chart);
        list->addWidget(new MonthRows(history_->periods, inner));
        list->addStretch();
        QScrollArea* area = transparentScrollArea(inner, page);
        layout->addWidget(area);
        keepScrolled(area, scrolled);
    } else {
        QLabel* empty = TextStyle::label(QString::fromUtf8("No history yet \u2013 measurements are saved automatically."),
                                         11, QFont::Normal, Theme::muted(), page);
        empty->setObjectName("noHistory");
        empty->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        empty->setWordWrap(true);
        layout->addSpacing(30 - 8);
        layout->addWidget(empty);
        layout->addStretch();
    }
    shown_.replace(page);
    onShow_ = PanelSegment::history;
    cells_.clear();
}

void BatteryPanel::showDetails() {
    int scrolled = 0;
    if (onShow_ == PanelSegment::details)
        scrolled = static_cast<QScrollArea*>(shown_.widget())->verticalScrollBar()->value();
    auto* inner = new QWidget;
    auto* layout = new QVBoxLayout(inner);
    layout->setContentsMargins(0, 0, 0, 8);
    layout->addWidget(new KVList(data_.details, inner));
    layout->addStretch();
    QScrollArea* area = transparentScrollArea(inner, this);
    area->setObjectName("details");
    shown_.replace(area);
    onShow_ = PanelSegment::details;
    cells_.clear();
    keepScrolled(area, scrolled);
}

}  // namespace celvio
