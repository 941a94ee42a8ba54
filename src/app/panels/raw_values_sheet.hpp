#pragma once

#include <QDialog>
#include <QRect>
#include <QString>
#include <QStringList>

#include <string>
#include <utility>
#include <vector>

namespace celvio {

/// Every raw registry value of a battery as key and value, with a live filter, "Copy All"
/// and "Done". A fixed 290 x 470 modal dialog. Its search field, "Copy All" and "Done"
/// are named "search", "copyAll" and "done".
class RawValuesSheet : public QDialog {
    Q_OBJECT

public:
    using Row = std::pair<std::string, std::string>;

    RawValuesSheet(const QString& title, std::vector<Row> rows, QWidget* parent = nullptr);

    /// The keys of the rows on show, top to bottom.
    QStringList shownKeys() const;
    /// Where the row at `shownIndex` among those on show is drawn, in the dialog's
    /// coordinates as currently scrolled; empty past the end.
    QRect shownRowRect(int shownIndex) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class RowList;

    void applyFilter(const QString& filter);
    void copyAll() const;

    QStringList keys_;
    QStringList values_;
    RowList* list_;
};

}  // namespace celvio
