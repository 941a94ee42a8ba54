#pragma once

#include "display/sections.hpp"

#include <QWidget>

#include <vector>

namespace celvio {

/// Titled sections of label and value rows: the "Details" segment.
class KVList : public QWidget {
    Q_OBJECT

public:
    explicit KVList(const std::vector<Sections::Section>& sections, QWidget* parent = nullptr);
};

}  // namespace celvio
