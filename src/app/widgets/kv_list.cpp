#include "widgets/kv_list.hpp"

#include "style/ui_text.hpp"
#include "style/text_style.hpp"
#include "style/theme.hpp"

#include <QBoxLayout>
#include <QLabel>

namespace celvio {

KVList::KVList(const std::vector<Sections::Section>& sections, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
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
            QLabel* text = TextStyle::label(UiText::fromStd(value), 10.5, QFont::Normal, Theme::cream(), this);
            text->setAlignment(Qt::AlignRight | Qt::AlignTop);
            text->setWordWrap(true);
            text->setTextInteractionFlags(Qt::TextSelectableByMouse);
            row->addWidget(key, 0, Qt::AlignTop);
            row->addStretch(0);
            row->addWidget(text, 1);
            block->addLayout(row);
        }
        column->addLayout(block);
    }
}

}  // namespace celvio
