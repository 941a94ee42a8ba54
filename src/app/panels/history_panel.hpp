#pragma once

// Qt first: moc (6.4) fails on <concepts> when a core header brings it in before Qt's.
#include <QLocale>
#include <QString>
#include <QWidget>

#include "base/uuid.hpp"
#include "history/health_trend.hpp"
#include "history/history_entry.hpp"
#include "history/history_grouping.hpp"

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QHBoxLayout;
class QLabel;
class QAbstractButton;
class QScrollArea;
class QTimer;
class QVBoxLayout;

namespace celvio {

class HealthChart;
class IconButton;

/// The locale's short date pattern with a four-digit year and two-digit month and day
/// ("M/d/yy" becomes "MM/dd/yyyy"), for dates in a column that must line up;
/// "yyyy-MM-dd" when the locale's short dates name the month or day.
QString numericDateFormat(const QLocale& locale = QLocale());

/// Everything the history holds: the count, import and export, the chart, one
/// collapsible block per device with its months and measurements.
///
/// A deletion takes effect at once; for ten seconds after it an "Undo" line (and Ctrl+Z)
/// puts back everything deleted while the line showed.
///
/// Keyboard: Tab reaches the buttons, the block headers and the measurement rows; Space or
/// Return opens and closes a block, Delete deletes the focused measurement.
///
/// Children others may look for: "historyCount", "exportHistory", "importHistory",
/// "historyUndo" with its button "undoDelete" and its timer "historyUndoTimer",
/// "historySaveError", "historyKeptAside" with its button "dismissKeptAside",
/// "healthChart", and per device a "historyBlock" header (properties "serial", "open")
/// with a "historyDot", a "historyTrend" line when the device has a trend, and, when
/// open, MonthRows and "measurementRow"s with a "deleteEntry" button each.
class HistoryPanel : public QWidget {
    Q_OBJECT

public:
    /// Empty until told what the history holds.
    explicit HistoryPanel(QWidget* parent = nullptr);

    /// The whole history, one group per device; rebuilt keeping the open blocks. Shows
    /// the import button when `importAvailable`. `trends` go with the groups of the same
    /// position; computing them is the caller's, once per change of the history.
    void setHistory(std::vector<HistoryDeviceGroup> groups, bool importAvailable,
                    std::vector<std::optional<HealthTrend>> trends = {});
    /// The reason the last save failed, while it did.
    void setSaveError(const std::optional<std::string>& error);
    /// The notice that an unreadable history file was kept aside, until dismissed.
    void setKeptAside(const std::optional<std::string>& notice);

signals:
    /// The export button: the window asks where to save.
    void exportRequested();
    /// The import button.
    void importRequested();
    void deleteEntryRequested(const UUID& id);
    void deleteDeviceRequested(const std::string& serial);
    /// Undo: the entries deleted since the undo line appeared.
    void restoreRequested(const std::vector<HistoryEntry>& entries);
    void dismissKeptAsideRequested();

private:
    void rebuildBlocks();
    QWidget* deviceBlock(const HistoryDeviceGroup& group, std::size_t position, QWidget* parent);
    QWidget* blockHeader(const HistoryDeviceGroup& group, std::size_t position, bool open, QWidget* parent);
    QWidget* measurements(const HistoryDeviceGroup& group, std::size_t position, QWidget* parent);
    void toggle(const std::string& serial);
    void deleteEntry(const UUID& id);
    void deleteDevice(const std::string& serial);
    /// Offers to put these back, with what was deleted before while the offer stands.
    void offerUndo(const std::vector<HistoryEntry>& entries);
    void undo();
    void orderTabs();

    std::vector<HistoryDeviceGroup> groups_;
    std::vector<std::optional<HealthTrend>> trends_;  ///< as many as groups_
    /// Serials of the open blocks; kept across rebuilds, not across launches.
    std::set<std::string> expanded_;
    QVBoxLayout* layout_;
    QLabel* count_;
    QLabel* saveError_;
    QWidget* keptAside_;
    QLabel* keptAsideText_;
    QWidget* undo_;
    QLabel* undoText_;
    QAbstractButton* undoButton_;
    QTimer* undoTimer_;
    std::vector<HistoryEntry> deleted_;
    QHBoxLayout* buttons_;
    IconButton* export_;
    IconButton* import_ = nullptr;
    HealthChart* chart_ = nullptr;
    QScrollArea* scroll_;
};

}  // namespace celvio
