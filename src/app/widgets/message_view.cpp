#include "widgets/message_view.hpp"

#include "style/symbols.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace celvio {

namespace {

/// The one prominent button of a message: amber filled, dark text, small.
QPushButton* actionButton(const QString& title, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(TextStyle::font(11, QFont::Medium));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QString("QPushButton { background: %1; color: %2; border: none; border-radius: 5px;"
                                  " padding: 3px 10px; }"
                                  "QPushButton:pressed { background: %3; }")
                              .arg(Theme::amber().name(), Theme::onAmber().name(), Theme::amber().darker(120).name()));
    return button;
}

}  // namespace

MessageView::MessageView(std::string symbol, const QString& title, const QString& message,
                         std::optional<QString> actionTitle, std::function<void()> action, QWidget* parent)
    : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);
    layout->addStretch();

    layout->addWidget(Symbols::label(symbol, 30, Theme::amber(), this), 0, Qt::AlignHCenter);

    auto* heading = TextStyle::label(title, 14, QFont::Bold, Theme::cream(), this);
    heading->setObjectName("title");
    heading->setAlignment(Qt::AlignHCenter);
    heading->setWordWrap(true);
    layout->addWidget(heading);

    // Full width, so a long text wraps at the view's edges and each line stays centred.
    auto* body = TextStyle::label(message, 11, QFont::Normal, Theme::muted(), this);
    body->setObjectName("message");
    body->setAlignment(Qt::AlignHCenter);
    body->setWordWrap(true);
    layout->addWidget(body);

    if (actionTitle && action) {
        auto* button = actionButton(*actionTitle, this);
        button->setObjectName("action");
        connect(button, &QPushButton::clicked, this, [run = std::move(action)] { run(); });
        layout->addWidget(button, 0, Qt::AlignHCenter);
    }
    layout->addStretch();
}

}  // namespace celvio
