#include "panels/history_panel.hpp"

#include "style/appearance.hpp"
#include "style/focus_ring.hpp"
#include "reading/device_catalog.hpp"
#include "style/ui_text.hpp"
#include "widgets/health_chart.hpp"
#include "widgets/icon_button.hpp"
#include "widgets/icon_view.hpp"
#include "widgets/month_rows.hpp"
#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"
#include "widgets/widget_slot.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>
#include <utility>

namespace celvio {

namespace {

/// A one-line label that elides its end instead of widening the row.
class ElidedLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
    }
};

ElidedLabel* elidedLabel(const QString& text, double pixelSize, QFont::Weight weight, const QColor& colour,
                         QWidget* parent) {
    auto* label = new ElidedLabel(text, parent);
    label->setFont(TextStyle::font(pixelSize, weight));
    TextStyle::setTextColour(label, colour);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

/// The disclosure chevron, pointing down while its block is open.
class Chevron : public QWidget {
public:
    Chevron(bool open, QWidget* parent) : QWidget(parent), open_(open) { setFixedSize(8, 12); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setPen(Theme::faint());
        painter.setFont(Symbols::font(8));
        painter.translate(QRectF(rect()).center());
        if (open_) painter.rotate(90);
        painter.drawText(QRectF(-6, -6, 12, 12), Qt::AlignCenter, Symbols::glyph("chevron.right"));
    }

private:
    bool open_;
};

/// The device's palette colour, tying its block to its chart line.
class Dot : public QWidget {
public:
    Dot(const QColor& colour, QWidget* parent) : QWidget(parent), colour_(colour) { setFixedSize(6, 6); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor colour_;
};

/// A block's header: one plain target for the whole row, on a card.
class BlockHeader : public QAbstractButton {
public:
    explicit BlockHeader(QWidget* parent) : QAbstractButton(parent) {
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
    }

    QSize sizeHint() const override { return layout() ? layout()->sizeHint() : QSize(); }
    QSize minimumSizeHint() const override { return layout() ? layout()->minimumSize() : QSize(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::card());
        painter.drawRoundedRect(QRectF(rect()), 8, 8);
        FocusRing::paint(painter, *this, QRectF(rect()), 8);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!FocusRing::clickOnReturn(*this, *event)) QAbstractButton::keyPressEvent(event);
    }
};

/// A word in the amber of actions, for a line of text that offers one.
class TextButton : public QAbstractButton {
public:
    TextButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
        setText(text);
        setFont(TextStyle::font(10, QFont::DemiBold));
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
    }

    QSize sizeHint() const override { return fontMetrics().size(0, text()) + QSize(8, 0); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(isDown() ? Theme::cream() : Theme::amber());
        painter.drawText(rect(), Qt::AlignCenter, text());
        FocusRing::paint(painter, *this, QRectF(rect()), 4);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!FocusRing::clickOnReturn(*this, *event)) QAbstractButton::keyPressEvent(event);
    }
};

/// A measurement: reached by Tab, deleted by Delete through its trash button.
class MeasurementRow : public QWidget {
public:
    explicit MeasurementRow(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::TabFocus); }
    void setTrash(QAbstractButton* trash) { trash_ = trash; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        FocusRing::paint(painter, *this, QRectF(rect()), 4);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (trash_ && (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace))
            trash_->click();
        else
            QWidget::keyPressEvent(event);
    }

private:
    QAbstractButton* trash_ = nullptr;
};

/// The small trash can of a measurement row.
class TrashButton : public QAbstractButton {
public:
    TrashButton(const QString& help, QWidget* parent) : QAbstractButton(parent) {
        setToolTip(help);
        setAccessibleName("Delete");
        setAccessibleDescription(help);
        // Its row takes the focus and Delete.
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
        setFixedSize(14, 14);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setPen(underMouse() ? Theme::muted() : Theme::faint());
        painter.setFont(Symbols::font(8.5));
        painter.drawText(rect(), Qt::AlignCenter, Symbols::glyph("trash"));
    }
};

QString measurementDate(HistoryEntry::Date date) {
    const auto ms = static_cast<qint64>(std::llround(date.time_since_epoch().count() * 1000.0));
    const QLocale locale;
    return locale.toString(QDateTime::fromMSecsSinceEpoch(ms).date(), numericDateFormat(locale));
}

QString deleteHelp(const HistoryEntry& entry) {
    return "Delete this measurement (" + (entry.source ? UiText::fromStd(*entry.source) : QString("Celvio")) + ", " +
           UiText::grouped(entry.fullChargeCapacity) + " mAh / " + UiText::grouped(entry.designCapacity) + " mAh)";
}

}  // namespace

QString numericDateFormat(const QLocale& locale) {
    const QString pattern = locale.dateFormat(QLocale::ShortFormat);
    // A short format with month or day names has no numeric order to keep.
    if (pattern.contains(QStringLiteral("MMM")) || pattern.contains(QStringLiteral("ddd")))
        return QStringLiteral("yyyy-MM-dd");
    QString result;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            // Quoted text stays as it is, quotes included.
            const qsizetype close = pattern.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? pattern.size() : close + 1;
            result += QStringView(pattern).mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c) ++run;
        if (c == u'y')
            result += QStringLiteral("yyyy");
        else if (c == u'M' || c == u'd')
            result += QString(2, c);
        else
            result += QStringView(pattern).mid(i, run);
        i += run;
    }
    return result;
}

HistoryPanel::HistoryPanel(QWidget* parent)
    : QWidget(parent),
      layout_(new QVBoxLayout(this)),
      count_(TextStyle::label({}, 10, QFont::Normal, Theme::muted(), this)),
      saveError_(TextStyle::label({}, 10, QFont::Normal, Theme::orange(), this)),
      keptAside_(new QWidget(this)),
      keptAsideText_(TextStyle::label({}, 10, QFont::Normal, Theme::amber(), keptAside_)),
      undo_(new QWidget(this)),
      undoText_(TextStyle::label({}, 10, QFont::Normal, Theme::muted(), undo_)),
      undoButton_(new TextButton("Undo", undo_)),
      undoTimer_(new QTimer(this)),
      buttons_(new QHBoxLayout),
      export_(new IconButton("square.and.arrow.up", "Export history as CSV", this)),
      scroll_(transparentScrollArea(new QWidget, this)) {
    layout_->setContentsMargins(14, 10, 14, 0);
    layout_->setSpacing(10);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    titles->addWidget(TextStyle::label("History", 14, QFont::Bold, Theme::cream(), this));
    count_->setObjectName("historyCount");
    // The undo offer follows the count on its line: the narrow window has room there, and
    // nothing moves when it comes and goes.
    auto* countLine = new QHBoxLayout;
    countLine->setSpacing(4);
    countLine->addWidget(count_);
    countLine->addWidget(undo_);
    countLine->addStretch(1);
    titles->addLayout(countLine);

    export_->setObjectName("exportHistory");
    connect(export_, &IconButton::clicked, this, &HistoryPanel::exportRequested);
    buttons_->setSpacing(4);
    buttons_->addWidget(export_);

    undo_->setObjectName("historyUndo");
    auto* undoRow = new QHBoxLayout(undo_);
    undoRow->setContentsMargins(0, 0, 0, 0);
    undoRow->setSpacing(2);
    undoRow->addWidget(undoText_);
    undoButton_->setObjectName("undoDelete");
    connect(undoButton_, &QAbstractButton::clicked, this, &HistoryPanel::undo);
    undoRow->addWidget(undoButton_);
    undoTimer_->setObjectName("historyUndoTimer");
    undoTimer_->setSingleShot(true);
    undoTimer_->setInterval(std::chrono::seconds(10));
    // Past the offer the deletion stands; the file has held it all along.
    connect(undoTimer_, &QTimer::timeout, this, [this] {
        deleted_.clear();
        undo_->hide();
    });
    auto* undoKey = new QShortcut(QKeySequence::Undo, this);
    undoKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(undoKey, &QShortcut::activated, this, &HistoryPanel::undo);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addLayout(titles);
    header->addStretch(1);
    header->addLayout(buttons_);
    layout_->addLayout(header);

    // What went wrong with the file: the user's data is at stake, so it stays in view.
    saveError_->setObjectName("historySaveError");
    saveError_->setWordWrap(true);
    layout_->addWidget(saveError_);
    keptAside_->setObjectName("historyKeptAside");
    auto* keptAsideRow = new QHBoxLayout(keptAside_);
    keptAsideRow->setContentsMargins(0, 0, 0, 0);
    keptAsideRow->setSpacing(6);
    keptAsideText_->setWordWrap(true);
    keptAsideRow->addWidget(keptAsideText_, 1);
    auto* dismiss = new QToolButton(keptAside_);
    dismiss->setObjectName("dismissKeptAside");
    dismiss->setText("Dismiss");
    dismiss->setFont(TextStyle::font(9, QFont::DemiBold));
    dismiss->setCursor(Qt::PointingHandCursor);
    dismiss->setAutoRaise(true);
    connect(dismiss, &QToolButton::clicked, this, &HistoryPanel::dismissKeptAsideRequested);
    keptAsideRow->addWidget(dismiss, 0, Qt::AlignTop);
    layout_->addWidget(keptAside_);

    // Tab goes to the blocks themselves; the area scrolls to the one focused.
    scroll_->setFocusPolicy(Qt::NoFocus);
    layout_->addWidget(scroll_, 1);
    saveError_->hide();
    keptAside_->hide();
    undo_->hide();
}

void HistoryPanel::setSaveError(const std::optional<std::string>& error) {
    saveError_->setText(error ? UiText::fromStd(*error) : QString());
    saveError_->setVisible(error.has_value());
}

void HistoryPanel::setKeptAside(const std::optional<std::string>& notice) {
    keptAsideText_->setText(notice ? UiText::fromStd(*notice) : QString());
    keptAside_->setVisible(notice.has_value());
}

void HistoryPanel::setHistory(std::vector<HistoryDeviceGroup> groups, bool importAvailable,
                              std::vector<std::optional<HealthTrend>> trends) {
    groups_ = std::move(groups);
    trends_ = std::move(trends);
    trends_.resize(groups_.size());
    std::size_t total = 0;
    for (const HistoryDeviceGroup& group : groups_) total += group.entries.size();
    count_->setText(QString("%1 measurements").arg(total));

    if (import_) discardLater(import_);
    import_ = nullptr;
    if (importAvailable) {
        import_ = new IconButton("square.and.arrow.down", "Import coconutBattery history", this);
        import_->setObjectName("importHistory");
        connect(import_, &IconButton::clicked, this, &HistoryPanel::importRequested);
        buttons_->insertWidget(0, import_);
    }

    if (chart_) discardLater(chart_);
    chart_ = nullptr;
    if (!groups_.empty()) {
        std::vector<HealthSeries> series;
        series.reserve(groups_.size());
        for (std::size_t i = 0; i < groups_.size(); ++i)
            series.push_back({UiText::fromStd(groups_[i].title), groups_[i].entries, trends_[i]});
        chart_ = new HealthChart(std::move(series), this);
        chart_->setObjectName("healthChart");
        chart_->setFixedHeight(100);
        layout_->insertWidget(layout_->indexOf(scroll_), chart_);
        // At once, not when the layout gets to it: the blocks' scroll range depends on it.
        chart_->show();
    }

    rebuildBlocks();
}

void HistoryPanel::orderTabs() {
    // Left to right as they show; the blocks follow in the order they were made.
    QWidget::setTabOrder(undoButton_, import_ ? static_cast<QWidget*>(import_) : export_);
    if (import_) QWidget::setTabOrder(import_, export_);
}

void HistoryPanel::rebuildBlocks() {
    const int scrolled = scroll_->verticalScrollBar()->value();
    // The focus goes to the same place in the new blocks: the same header, or the row now
    // at the focused one's place (the next one, after a Delete).
    QWidget* focused = QApplication::focusWidget();
    const bool keepFocus = focused && scroll_->widget() && scroll_->widget()->isAncestorOf(focused);
    const QString focusSerial = keepFocus ? focused->property("serial").toString() : QString();
    const int focusRow = keepFocus ? focused->property("row").toInt() : -1;
    const int focusBlock = keepFocus ? focused->property("block").toInt() : 0;
    if (QWidget* old = scroll_->takeWidget()) discardLater(old);

    auto* content = new QWidget(scroll_);
    auto* blocks = new QVBoxLayout(content);
    blocks->setContentsMargins(0, 0, 0, 10);
    blocks->setSpacing(6);
    for (std::size_t i = 0; i < groups_.size(); ++i) blocks->addWidget(deviceBlock(groups_[i], i, content));
    blocks->addStretch(1);

    scroll_->setWidget(content);
    content->setAutoFillBackground(false);  // setWidget turns it on
    // Lay out now, so the old position is in range before the first paint.
    layout_->activate();
    blocks->activate();
    scroll_->verticalScrollBar()->setValue(scrolled);
    orderTabs();

    if (!keepFocus) return;
    const auto headers = content->findChildren<QAbstractButton*>("historyBlock");
    if (headers.isEmpty()) {
        export_->setFocus(Qt::OtherFocusReason);
        return;
    }
    QWidget* target = headers[std::min<int>(focusBlock, static_cast<int>(headers.size()) - 1)];
    for (QAbstractButton* header : headers) {
        if (header->property("serial").toString() != focusSerial) continue;
        target = header;
        const auto rows = header->parentWidget()->findChildren<QWidget*>("measurementRow");
        if (focusRow >= 0 && !rows.isEmpty()) target = rows[std::min<int>(focusRow, static_cast<int>(rows.size()) - 1)];
    }
    target->setFocus(Qt::OtherFocusReason);
    scroll_->ensureWidgetVisible(target);
}

QWidget* HistoryPanel::deviceBlock(const HistoryDeviceGroup& group, std::size_t position, QWidget* parent) {
    const bool open = expanded_.count(group.serial) > 0;
    auto* block = new QWidget(parent);
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(blockHeader(group, position, open, block));
    if (open) layout->addWidget(measurements(group, position, block));
    return block;
}

QWidget* HistoryPanel::blockHeader(const HistoryDeviceGroup& group, std::size_t position, bool open, QWidget* parent) {
    auto* header = new BlockHeader(parent);
    header->setObjectName("historyBlock");
    header->setProperty("serial", UiText::fromStd(group.serial));
    header->setProperty("open", open);
    header->setProperty("block", static_cast<int>(position));
    header->setProperty("row", -1);
    connect(header, &BlockHeader::clicked, this, [this, serial = group.serial] { toggle(serial); });

    auto* menu = new QMenu(header);
    QAction* forget = menu->addAction("Delete History of This Device");
    // Destructive, and the menu's one entry: its text in red, but white on the highlight.
    QPalette red = menu->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        red.setColor(QPalette::Active, role, Theme::red());
        red.setColor(QPalette::Inactive, role, Theme::red());
    }
    menu->setPalette(red);
    connect(forget, &QAction::triggered, this, [this, serial = group.serial] { deleteDevice(serial); });
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &BlockHeader::customContextMenuRequested, menu,
            [header, menu](const QPoint& at) { menu->popup(header->mapToGlobal(at)); });

    auto* outer = new QVBoxLayout(header);
    outer->setContentsMargins(8, 6, 8, 6);
    outer->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setSpacing(7);
    outer->addLayout(row);
    auto* chevron = new Chevron(open, header);
    chevron->setObjectName("historyChevron");
    row->addWidget(chevron, 0, Qt::AlignVCenter);
    auto* dot = new Dot(Theme::paletteColour(position), header);
    dot->setObjectName("historyDot");
    row->addWidget(dot, 0, Qt::AlignVCenter);
    const bool mac = group.kind == HistoryEntry::Kind::mac;
    auto* icon = new IconView(18, header);
    icon->setIcon(Symbols::deviceIcon(group.modelIdentifier, mac ? "laptopcomputer" : "iphone"));
    row->addWidget(icon, 0, Qt::AlignVCenter);

    const auto marketing = DeviceCatalog::marketingName(group.modelIdentifier);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(0);
    auto* name = elidedLabel(UiText::fromStd(group.entries.empty() ? group.title : group.entries.back().deviceName), 11,
                             QFont::DemiBold, Theme::cream(), header);
    name->setObjectName("historyName");
    auto* model = elidedLabel(UiText::fromStd(marketing ? *marketing : group.modelIdentifier), 9, QFont::Normal,
                              Theme::muted(), header);
    model->setObjectName("historyModel");
    lines->addWidget(name);
    lines->addWidget(model);
    row->addLayout(lines, 1);

    QString spoken = name->text();
    if (!group.entries.empty()) {
        const double health = group.entries.back().health();
        spoken += ", " + UiText::number(health, 0) + " % health";
        auto* latest =
            TextStyle::label(UiText::number(health, 0) + " %", 12, QFont::Bold, Theme::healthTint(health), header);
        latest->setObjectName("historyHealth");
        row->addWidget(latest, 0, Qt::AlignVCenter);
    }
    if (const auto& trend = trends_[position]) {
        // Under the name, and on under the health: the text is longer than the name's column.
        auto* text = elidedLabel(UiText::fromStd(healthTrendText(*trend, QLocale().decimalPoint().toStdString())), 9,
                                 QFont::Normal, Theme::muted(), header);
        text->setObjectName("historyTrend");
        text->setContentsMargins(chevron->width() + dot->width() + icon->width() + 3 * row->spacing(), 0, 0, 0);
        outer->addWidget(text);
        header->setAccessibleDescription(text->text());
    }
    header->setAccessibleName(spoken + (open ? ", open" : ", closed"));
    return header;
}

QWidget* HistoryPanel::measurements(const HistoryDeviceGroup& group, std::size_t position, QWidget* parent) {
    auto* details = new QWidget(parent);
    auto* layout = new QVBoxLayout(details);
    layout->setContentsMargins(0, 0, 0, 4);
    layout->setSpacing(1);
    layout->addWidget(new MonthRows(group.periods, details));

    auto* caption = new QLabel("MEASUREMENTS", details);
    caption->setFont(TextStyle::spaced(TextStyle::font(8.5, QFont::Bold), 0.8));
    TextStyle::setTextColour(caption, Theme::amber());
    caption->setContentsMargins(6, 2, 0, 0);
    layout->addWidget(caption);

    const QFont rowFont = TextStyle::font(10);
    const auto cell = [&rowFont](const QString& text, const QColor& colour, QWidget* row) {
        auto* label = new QLabel(text, row);
        label->setFont(rowFont);
        TextStyle::setTextColour(label, colour);
        return label;
    };
    int index = 0;
    for (auto entry = group.entries.rbegin(); entry != group.entries.rend(); ++entry, ++index) {
        auto* row = new MeasurementRow(details);
        row->setObjectName("measurementRow");
        row->setProperty("serial", UiText::fromStd(group.serial));
        row->setProperty("row", index);
        row->setProperty("block", static_cast<int>(position));
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(6, 1, 2, 1);
        line->setSpacing(6);
        auto* date = cell(measurementDate(entry->date), Theme::muted(), row);
        date->setObjectName("measurementDate");
        auto* health = cell(UiText::number(entry->health(), 1) + " %", Theme::cream(), row);
        health->setObjectName("measurementHealth");
        auto* cycles = cell(QString("%1 cyc.").arg(entry->cycleCount), Theme::faint(), row);
        cycles->setObjectName("measurementCycles");
        cycles->setFixedWidth(52);
        cycles->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* trash = new TrashButton(deleteHelp(*entry), row);
        trash->setObjectName("deleteEntry");
        connect(trash, &TrashButton::clicked, this, [this, id = entry->id] { deleteEntry(id); });
        row->setTrash(trash);
        row->setAccessibleName(date->text() + ", " + health->text() + ", " + cycles->text());
        row->setAccessibleDescription(trash->toolTip());

        line->addWidget(date);
        line->addStretch(1);
        line->addWidget(health);
        line->addWidget(cycles);
        line->addWidget(trash);
        layout->addWidget(row);
    }
    return details;
}

void HistoryPanel::toggle(const std::string& serial) {
    if (!expanded_.erase(serial)) expanded_.insert(serial);
    rebuildBlocks();
}

void HistoryPanel::deleteEntry(const UUID& id) {
    for (const HistoryDeviceGroup& group : groups_) {
        for (const HistoryEntry& entry : group.entries)
            if (entry.id == id) offerUndo({entry});
    }
    emit deleteEntryRequested(id);
}

void HistoryPanel::deleteDevice(const std::string& serial) {
    for (const HistoryDeviceGroup& group : groups_)
        if (group.serial == serial) offerUndo(group.entries);
    emit deleteDeviceRequested(serial);
}

void HistoryPanel::offerUndo(const std::vector<HistoryEntry>& entries) {
    deleted_.insert(deleted_.end(), entries.begin(), entries.end());
    undoText_->setText(QString("· %1 deleted").arg(deleted_.size()));
    undoButton_->setAccessibleName(QString("Undo: put back %1 deleted").arg(deleted_.size()));
    undo_->show();
    undoTimer_->start();
}

void HistoryPanel::undo() {
    if (deleted_.empty()) return;
    const std::vector<HistoryEntry> entries = std::exchange(deleted_, {});
    undoTimer_->stop();
    undo_->hide();
    emit restoreRequested(entries);
}

}  // namespace celvio
