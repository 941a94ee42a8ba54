#include "shell/root_view.hpp"

#include "model/app_model.hpp"
#include "style/appearance.hpp"
#include "panels/connect_help_panel.hpp"
#include "widgets/device_strip.hpp"
#include "panels/history_panel.hpp"
#include "panels/ios_panel.hpp"
#include "panels/mac_panel.hpp"
#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QLabel>
#include <QPainter>
#include <QToolButton>

namespace celvio {

RootView::RootView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), panel_(new QVBoxLayout(this)) {
    setFixedSize(sizeHint());
    auto* column = static_cast<QVBoxLayout*>(layout());
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* title = new QWidget(this);
    title->setFixedHeight(28);
    QLabel* name = TextStyle::label("Celvio", 12, QFont::DemiBold, Theme::muted(), title);
    name->setAlignment(Qt::AlignCenter);
    name->setGeometry(0, 0, fixedWidth, 28);
    auto* support = new QToolButton(title);
    support->setObjectName("support");
    support->setAutoRaise(true);
    support->setFocusPolicy(Qt::NoFocus);
    support->setCursor(Qt::PointingHandCursor);
    support->setText(Symbols::glyph("cup.and.saucer.fill"));
    support->setFont(Symbols::font(13));
    support->setStyleSheet("QToolButton { color: " + Theme::amber().name() + "; border: none; background: transparent; }");
    support->setToolTip(QString::fromUtf8("Buy me a coffee \u2013 support Celvio"));
    support->setGeometry(fixedWidth - 10 - 26, 3, 26, 22);
    connect(support, &QToolButton::clicked, this, &RootView::supportRequested);
    column->addWidget(title);

    strip_ = new DeviceStrip(model_, this);
    column->addWidget(strip_);
    column->addSpacing(8);
    separator_ = new QWidget(this);  // drawn with the background, see paintEvent
    separator_->setFixedHeight(1);
    column->addWidget(separator_);

    connect(&model_, &AppModel::selectionChanged, this, &RootView::showPanel);
    showPanel();
}

QSize RootView::sizeHint() const { return {fixedWidth, fixedHeight}; }

void RootView::showPanel() {
    const Selection& selection = model_.selection();
    if (selection == shown_) return;
    shown_ = selection;
    switch (selection.kind) {
    case Selection::Kind::mac:
        panel_.replace(new MacPanel(model_, this));
        break;
    case Selection::Kind::device:
        panel_.replace(new IOSPanel(model_, selection.udid, this));
        break;
    case Selection::Kind::history: {
        auto* history = panel_.replace(new HistoryPanel(model_, this));
        connect(history, &HistoryPanel::exportRequested, this, &RootView::exportRequested);
        connect(history, &HistoryPanel::importRequested, this, &RootView::importRequested);
        break;
    }
    case Selection::Kind::connectHelp:
        panel_.replace(new ConnectHelpPanel(model_, this));
        break;
    }
}

void RootView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintBackground(painter, rect());
    painter.fillRect(separator_->geometry(), Theme::white(0.06));
}

}  // namespace celvio
