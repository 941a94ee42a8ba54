#include "widgets/kv_list.hpp"

#include "style/ui_text.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>

namespace celvio {
namespace {

constexpr QChar breakOpportunity(0x200B);  // zero-width space
/// Words longer than this (a UDID, a Wi-Fi address) may break between any two characters;
/// shorter ones wrap whole, so "iPad (7th generation)" never becomes "iPad (7th gene-ration)".
constexpr qsizetype longWord = 16;

QString breakable(const QString& text) {
    QString out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text[i].isSpace()) continue;
        const QStringView word = QStringView(text).mid(start, i - start);
        for (qsizetype c = 0; c < word.size(); ++c) {
            if (c > 0 && word.size() > longWord && !word[c].isLowSurrogate()) out += breakOpportunity;
            out += word[c];
        }
        if (i < text.size()) out += text[i];
        start = i + 1;
    }
    return out;
}

/// A value that wraps right-aligned beside its label, long words anywhere. The breaks are
/// invisible characters, so copying hands out the value without them.
class ValueLabel : public QLabel {
public:
    ValueLabel(const QString& value, QWidget* parent) : QLabel(breakable(value), parent), value_(value) {
        setFont(TextStyle::font(10.5));
        TextStyle::setTextColour(this, Theme::cream());
        setAlignment(Qt::AlignRight | Qt::AlignTop);
        setWordWrap(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setAccessibleName(value);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!event->matches(QKeySequence::Copy)) return QLabel::keyPressEvent(event);
        copy();
    }
    void contextMenuEvent(QContextMenuEvent* event) override {
        QMenu menu(this);
        menu.addAction("Copy", this, [this] { copy(); });
        menu.exec(event->globalPos());
    }

private:
    void copy() const {
        QString chosen = hasSelectedText() ? selectedText() : value_;
        QApplication::clipboard()->setText(chosen.remove(breakOpportunity));
    }

    QString value_;
};

}  // namespace

KVList::KVList(const std::vector<Sections::Section>& sections, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    // A glyph's antialiased edge may pass its advance; the right margin keeps it in the viewport.
    column->setContentsMargins(0, 0, 2, 0);
    column->setSpacing(10);
    for (const Sections::Section& section : sections) {
        auto* block = new QVBoxLayout;
        block->setSpacing(3);
        QLabel* title =
            TextStyle::label(UiText::fromStd(section.title).toUpper(), 9, QFont::Bold, Theme::amber(), this);
        title->setFont(TextStyle::spaced(title->font(), 0.8));
        block->addWidget(title);
        for (const auto& [label, value] : section.rows) {
            auto* row = new QHBoxLayout;
            row->setSpacing(6);
            QLabel* key = TextStyle::label(UiText::fromStd(label), 10.5, QFont::Normal, Theme::muted(), this);
            auto* text = new ValueLabel(UiText::fromStd(value), this);
            text->setAccessibleDescription(key->text());
            row->addWidget(key, 0, Qt::AlignTop);
            row->addWidget(text, 1);
            block->addLayout(row);
        }
        column->addLayout(block);
    }
}

}  // namespace celvio
