#include "panels/connect_help_panel.hpp"

#include "platform/host_words.hpp"
#include "style/ui_text.hpp"
#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace celvio {

namespace {

/// A step's number: the digit in dark on an amber disc.
class StepNumber : public QLabel {
public:
    StepNumber(const QString& digit, QWidget* parent) : QLabel(digit, parent) {
        setFont(TextStyle::font(10, QFont::Bold));
        setFixedSize(18, 18);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::amber());
        painter.drawEllipse(QRectF(rect()));
        painter.setPen(Theme::onAmber());
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
};

QLayout* step(const QString& digit, const QString& text, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(new StepNumber(digit, parent), 0, Qt::AlignTop);
    auto* label = TextStyle::label(text, 11, QFont::Normal, Theme::cream(), parent);
    label->setWordWrap(true);
    row->addWidget(label, 1, Qt::AlignTop);
    return row;
}

}  // namespace

ConnectHelpPanel::ConnectHelpPanel(QWidget* parent)
    : QWidget(parent), error_(TextStyle::label(QString(), 10, QFont::Normal, Theme::red(), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(Symbols::label("iphone.radiowaves.left.and.right", 24, Theme::amber(), this), 0,
                      Qt::AlignVCenter);
    auto* headings = new QVBoxLayout;
    headings->setSpacing(1);
    headings->addWidget(TextStyle::label("No iPhone or iPad found", 13, QFont::Bold, Theme::cream(), this));
    headings->addWidget(TextStyle::label(QString::fromUtf8("Connect one via USB or Wi\u2011Fi"), 10, QFont::Normal,
                                         Theme::muted(), this));
    header->addLayout(headings, 1);
    header->setAlignment(headings, Qt::AlignVCenter);
    layout->addLayout(header);

    auto* steps = new QVBoxLayout;
    steps->setSpacing(8);
    steps->addLayout(
        step("1", QString::fromUtf8("Connect the device via USB and tap \u201CTrust this Computer\u201D."), this));
    steps->addLayout(step("2", UiText::fromStd(std::string(hostWords().wifiStep)), this));
    steps->addLayout(step("3",
                          QString::fromUtf8("Keep the device in the same network as %1 \u2013 it then shows up "
                                            "without a cable.")
                              .arg(UiText::fromStd(std::string(hostWords().thisHostInText))),
                          this));
    layout->addLayout(steps);

    error_->setObjectName("usbmuxError");
    error_->setWordWrap(true);
    error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(error_);
    layout->addStretch();
    error_->hide();
}

void ConnectHelpPanel::setError(const std::optional<std::string>& error) {
    error_->setText(error ? UiText::fromStd(*error) : QString());
    error_->setVisible(error.has_value());
}

}  // namespace celvio
