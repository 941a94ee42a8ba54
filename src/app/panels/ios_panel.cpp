#include "panels/ios_panel.hpp"

#include "panels/battery_panel.hpp"
#include "style/ui_text.hpp"
#include "widgets/message_view.hpp"
#include "widgets/spinner.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QLabel>

namespace celvio {
namespace {

/// "Reading battery data…" under a spinner, centred.
QWidget* progressView(QWidget* parent) {
    auto* view = new QWidget(parent);
    view->setObjectName("reading");
    auto* column = new QVBoxLayout(view);
    column->setSpacing(10);
    column->addStretch();
    column->addWidget(new Spinner(18, view), 0, Qt::AlignHCenter);
    column->addWidget(TextStyle::label(QString::fromUtf8("Reading battery data\u2026"), 11, QFont::Normal,
                                       Theme::muted(), view),
                      0, Qt::AlignHCenter);
    column->addStretch();
    return view;
}

}  // namespace

IOSPanel::IOSPanel(std::string udid, PanelSegment segment, QWidget* parent)
    : QWidget(parent), udid_(std::move(udid)), segment_(segment), shown_(new QVBoxLayout(this)) {
    layout()->setContentsMargins(0, 0, 0, 0);
}

void IOSPanel::showReading() {
    if (shows_ == Shows::reading) return;
    shows_ = Shows::reading;
    panel_ = nullptr;
    shown_.replace(progressView(this));
}

void IOSPanel::showFailure(const std::string& message) {
    if (shows_ == Shows::failure && failure_ == message) return;
    shows_ = Shows::failure;
    panel_ = nullptr;
    failure_ = message;
    shown_.replace(new MessageView("exclamationmark.triangle", "Could not read the device",
                                   UiText::fromStd(message), QString("Try Again"),
                                   [this] { emit refreshRequested(); }, this));
}

void IOSPanel::setData(PanelData data) {
    if (shows_ != Shows::data) {
        shows_ = Shows::data;
        panel_ = shown_.replace(new BatteryPanel(segment_, this));
        connect(panel_, &BatteryPanel::refreshRequested, this, &IOSPanel::refreshRequested);
        connect(panel_, &BatteryPanel::rawValuesRequested, this, &IOSPanel::rawValuesRequested);
        connect(panel_, &BatteryPanel::segmentChosen, this, [this](PanelSegment segment) {
            segment_ = segment;
            emit segmentChosen(segment);
        });
    }
    panel_->setData(std::move(data));
}

}  // namespace celvio
