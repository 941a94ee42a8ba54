#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

namespace celvio {

/// A centred message: a symbol, a bold title, an explanation and, when both an action
/// title and an action are given, one button that runs the action. Paints no background
/// of its own, so the parent's gradient shows through.
class MessageView : public QWidget {
    Q_OBJECT

public:
    MessageView(std::string symbol, const QString& title, const QString& message,
                std::optional<QString> actionTitle = std::nullopt, std::function<void()> action = {},
                QWidget* parent = nullptr);
};

}  // namespace celvio
