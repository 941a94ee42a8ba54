#pragma once

#include <QWidget>

class QLabel;

namespace celvio {

class AppModel;

/// A plain text summary of the model until the real panels replace it.
class PlaceholderView : public QWidget {
    Q_OBJECT

public:
    PlaceholderView(const AppModel& model, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    /// The text on show.
    QString text() const;

private:
    void refresh();

    const AppModel& model_;
    QLabel* label_;
};

}  // namespace celvio
