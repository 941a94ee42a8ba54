#include "panels/raw_values_sheet.hpp"

#include "style/appearance.hpp"
#include "style/ui_text.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTextLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace celvio {

namespace {

constexpr int paddingX = 6;
constexpr int paddingY = 4;
constexpr int keyValueSpacing = 1;

QString css(const QColor& colour) { return colour.name(QColor::HexArgb); }

/// The line edit and buttons drawn for the dark gradient, whatever the style.
QString darkStyleSheet() {
    return QString(
               "QLineEdit { background: %1; border: 1px solid %2; border-radius: 6px; padding: 3px 6px;"
               " color: %3; selection-background-color: %4; selection-color: %5; }"
               "QLineEdit:focus { border-color: %6; }"
               "QPushButton { background: %7; border: 1px solid %2; border-radius: 5px; padding: 3px 12px;"
               " color: %3; }"
               "QPushButton:pressed { background: %8; }"
               "QPushButton:default { background: %4; border-color: %4; color: %5; }"
               "QPushButton:default:pressed { background: %9; }")
        .arg(css(Theme::white(0.06)), css(Theme::white(0.14)), css(Theme::cream()), css(Theme::amber()),
             css(Theme::onAmber()), css(Theme::withOpacity(Theme::amber(), 0.7)), css(Theme::white(0.08)),
             css(Theme::white(0.2)), css(Theme::amber().darker(120)));
}

/// Breaks `layout` into lines of `width`, inside a word when it alone is wider (hex data,
/// paths), and returns the height of the lines.
int breakLines(QTextLayout& layout, qreal width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return static_cast<int>(std::ceil(height));
}

}  // namespace

/// The rows on show, drawn by one widget: a label pair per row would make each keystroke
/// in the search field show or hide hundreds of widgets. Values can be selected with the
/// mouse (a double click takes the whole value) and copied exactly.
class RawValuesSheet::RowList : public QAbstractScrollArea {
public:
    RowList(const QStringList& keys, const QStringList& values, QWidget* parent)
        : QAbstractScrollArea(parent),
          keys_(keys),
          values_(values),
          laidOut_(static_cast<std::size_t>(keys.size())),
          keyFont_(TextStyle::font(9.5, QFont::DemiBold)),
          valueFont_(TextStyle::monospace(10)) {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        viewport()->setAutoFillBackground(false);  // the dialog's gradient shows behind the rows
        viewport()->setMouseTracking(true);
    }

    const std::vector<int>& rows() const noexcept { return rows_; }

    /// Shows these rows (indices into the keys) from the top.
    void setRows(std::vector<int> rows) {
        rows_ = std::move(rows);
        selection_.reset();
        dragging_ = false;
        stack();
        verticalScrollBar()->setValue(0);
        viewport()->update();
    }

    /// The row at `position` among those on show, in the viewport's coordinates.
    QRect rowRect(std::size_t position) const {
        if (position >= rows_.size()) return {};
        return {0, tops_[position] - verticalScrollBar()->value(), viewport()->width(),
                tops_[position + 1] - tops_[position]};
    }

    static bool striped(std::size_t position) { return position % 2 == 0; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QAbstractScrollArea::resizeEvent(event);
        if (viewport()->width() != width_) {
            width_ = viewport()->width();
            for (auto& row : laidOut_) row.reset();
        }
        stack();
    }

    void scrollContentsBy(int, int) override { viewport()->update(); }

    void paintEvent(QPaintEvent* event) override {
        QPainter painter(viewport());
        const int offset = verticalScrollBar()->value();
        const QRect dirty = event->rect();
        for (std::size_t position = firstAt(dirty.top() + offset); position < rows_.size(); ++position) {
            const QRect rect = rowRect(position);
            if (rect.top() > dirty.bottom()) break;
            if (striped(position)) painter.fillRect(rect, Theme::white(0.035));
            const int row = rows_[position];
            const LaidOut& text = *laidOut_[static_cast<std::size_t>(row)];
            painter.setPen(Theme::amber());
            text.key.draw(&painter, QPointF(paddingX, rect.top() + paddingY));
            QList<QTextLayout::FormatRange> highlight;
            if (selection_ && selection_->row == row && selection_->anchor != selection_->cursor) {
                QTextCharFormat format;
                format.setBackground(Theme::amber());
                format.setForeground(Theme::onAmber());
                highlight.append({selection_->start(), selection_->length(), format});
            }
            painter.setPen(Theme::cream());
            text.value.draw(&painter, QPointF(paddingX, rect.top() + valueTop(text)), highlight);
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
        const auto hit = valueAt(event->position());
        dragging_ = hit.has_value();
        if (hit)
            selection_ = Selection{hit->first, hit->second, hit->second};
        else
            selection_.reset();
        viewport()->update();
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        viewport()->setCursor(valueAt(event->position()) ? Qt::IBeamCursor : Qt::ArrowCursor);
        if (!dragging_ || !selection_) return;
        selection_->cursor = cursorIn(selection_->row, event->position());
        viewport()->update();
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mouseReleaseEvent(event);
        dragging_ = false;
        if (QApplication::clipboard()->supportsSelection() && hasSelection())
            QApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
    }

    void mouseDoubleClickEvent(QMouseEvent* event) override {
        const auto hit = valueAt(event->position());
        if (!hit) return;
        selection_ = Selection{hit->first, 0, static_cast<int>(values_[hit->first].size())};
        dragging_ = false;
        viewport()->update();
    }

    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Copy) && hasSelection()) {
            QApplication::clipboard()->setText(selectedText());
            event->accept();
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
    }

    void contextMenuEvent(QContextMenuEvent* event) override {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction("Copy", this, [this] { QApplication::clipboard()->setText(selectedText()); })
            ->setEnabled(hasSelection());
        menu->popup(event->globalPos());
    }

private:
    struct LaidOut {
        QTextLayout key;
        QTextLayout value;
        int keyHeight = 0;
        int height = 0;
    };

    struct Selection {
        int row;
        int anchor;
        int cursor;
        int start() const { return std::min(anchor, cursor); }
        int length() const { return std::abs(cursor - anchor); }
    };

    static int valueTop(const LaidOut& text) { return paddingY + text.keyHeight + keyValueSpacing; }

    const LaidOut& laidOut(int row) {
        auto& slot = laidOut_[static_cast<std::size_t>(row)];
        if (!slot) {
            slot = std::make_unique<LaidOut>();
            const qreal width = std::max(1, width_ - 2 * paddingX);
            slot->key.setText(keys_[row]);
            slot->key.setFont(keyFont_);
            slot->keyHeight = breakLines(slot->key, width);
            // One line separator for each line feed keeps the layout's positions those of the value.
            slot->value.setText(QString(values_[row]).replace(QChar('\n'), QChar::LineSeparator));
            slot->value.setFont(valueFont_);
            slot->height = valueTop(*slot) + breakLines(slot->value, width) + paddingY;
        }
        return *slot;
    }

    /// Lays out the rows on show that are not yet, one under the other, and sizes the
    /// scroll range to them.
    void stack() {
        tops_.assign(1, 0);
        if (width_ > 0)
            for (const int row : rows_) tops_.push_back(tops_.back() + laidOut(row).height);
        else
            tops_.resize(rows_.size() + 1, 0);
        verticalScrollBar()->setPageStep(viewport()->height());
        verticalScrollBar()->setSingleStep(20);
        verticalScrollBar()->setRange(0, std::max(0, tops_.back() - viewport()->height()));
    }

    /// The first row on show whose bottom lies below `y`, in content coordinates.
    std::size_t firstAt(int y) const {
        const auto below = std::upper_bound(tops_.begin() + 1, tops_.end(), y);
        return static_cast<std::size_t>(below - (tops_.begin() + 1));
    }

    /// The row and text position of the value under `point` in the viewport, if any.
    std::optional<std::pair<int, int>> valueAt(QPointF point) {
        const std::size_t position = firstAt(static_cast<int>(point.y()) + verticalScrollBar()->value());
        if (position >= rows_.size()) return std::nullopt;
        const int row = rows_[position];
        if (point.y() < rowRect(position).top() + valueTop(laidOut(row))) return std::nullopt;
        return std::pair{row, cursorIn(row, point)};
    }

    /// The text position in `row`'s value nearest `point`: its start above the value,
    /// its end below it.
    int cursorIn(int row, QPointF point) {
        const auto shown = std::find(rows_.begin(), rows_.end(), row);
        if (shown == rows_.end()) return 0;
        const LaidOut& text = laidOut(row);
        const QRect rect = rowRect(static_cast<std::size_t>(shown - rows_.begin()));
        const QPointF local = point - QPointF(paddingX, rect.top() + valueTop(text));
        if (local.y() < 0 || text.value.lineCount() == 0) return 0;
        for (int i = 0; i < text.value.lineCount(); ++i) {
            const QTextLine line = text.value.lineAt(i);
            if (local.y() < line.rect().bottom()) return line.xToCursor(local.x());
        }
        return static_cast<int>(values_[row].size());
    }

    bool hasSelection() const { return selection_ && selection_->length() > 0; }
    QString selectedText() const {
        return hasSelection() ? values_[selection_->row].mid(selection_->start(), selection_->length()) : QString();
    }

    const QStringList keys_;  // shared with the sheet's lists, not copied
    const QStringList values_;
    std::vector<std::unique_ptr<LaidOut>> laidOut_;  // per row, made when first shown
    QFont keyFont_;
    QFont valueFont_;
    int width_ = 0;
    std::vector<int> rows_;  // indices of the rows on show
    std::vector<int> tops_;  // top of each row on show, and the bottom of the last
    std::optional<Selection> selection_;
    bool dragging_ = false;
};

RawValuesSheet::RawValuesSheet(const QString& title, std::vector<Row> rows, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Raw Battery Values");
    setModal(true);
    setFixedSize(290, 470);

    keys_.reserve(static_cast<qsizetype>(rows.size()));
    values_.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& [key, value] : rows) {
        keys_ << UiText::fromStd(key);
        values_ << UiText::fromStd(value);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);

    auto* heading = new QVBoxLayout;
    heading->setSpacing(2);
    heading->addWidget(TextStyle::label("Raw Battery Values", 13, QFont::Bold, Theme::cream(), this), 0,
                       Qt::AlignHCenter);
    auto* subtitle =
        TextStyle::label(title + QString::fromUtf8(" \u00B7 ") + QString::number(keys_.size()) + " IORegistry keys", 10,
                         QFont::Normal, Theme::muted(), this);
    subtitle->setObjectName("subtitle");
    subtitle->setAlignment(Qt::AlignHCenter);
    subtitle->setWordWrap(true);
    heading->addWidget(subtitle);
    layout->addLayout(heading);

    const QString styleSheet = darkStyleSheet();
    auto* search = new QLineEdit(this);
    search->setObjectName("search");
    search->setPlaceholderText("Search");
    search->setFont(TextStyle::font(11));
    search->setStyleSheet(styleSheet);
    connect(search, &QLineEdit::textChanged, this, &RawValuesSheet::applyFilter);
    layout->addWidget(search);

    list_ = new RowList(keys_, values_, this);
    layout->addWidget(list_, 1);

    auto* buttons = new QHBoxLayout;
    auto* copy = new QPushButton("Copy All", this);
    copy->setObjectName("copyAll");
    copy->setAutoDefault(false);
    copy->setFont(TextStyle::font(11));
    copy->setStyleSheet(styleSheet);
    connect(copy, &QPushButton::clicked, this, &RawValuesSheet::copyAll);
    buttons->addWidget(copy);
    buttons->addStretch();
    auto* done = new QPushButton("Done", this);
    done->setObjectName("done");
    done->setDefault(true);
    done->setFont(TextStyle::font(11, QFont::Medium));
    done->setStyleSheet(styleSheet);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(done);
    layout->addLayout(buttons);

    applyFilter(QString());
}

QStringList RawValuesSheet::shownKeys() const {
    QStringList keys;
    for (const int row : list_->rows()) keys << keys_[row];
    return keys;
}

QRect RawValuesSheet::shownRowRect(int shownIndex) const {
    if (shownIndex < 0) return {};
    const QRect rect = list_->rowRect(static_cast<std::size_t>(shownIndex));
    return rect.isNull() ? rect : rect.translated(list_->viewport()->mapTo(this, QPoint()));
}

void RawValuesSheet::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintBackground(painter, rect());
}

void RawValuesSheet::applyFilter(const QString& filter) {
    std::vector<int> shown;
    for (qsizetype i = 0; i < keys_.size(); ++i)
        if (filter.isEmpty() || keys_[i].contains(filter, Qt::CaseInsensitive) ||
            values_[i].contains(filter, Qt::CaseInsensitive))
            shown.push_back(static_cast<int>(i));
    list_->setRows(std::move(shown));
}

void RawValuesSheet::copyAll() const {
    QStringList lines;
    lines.reserve(keys_.size());
    for (qsizetype i = 0; i < keys_.size(); ++i) lines << keys_[i] + " = " + values_[i];
    QApplication::clipboard()->setText(lines.join('\n'));
}

}  // namespace celvio
