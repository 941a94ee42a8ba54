#pragma once

#include <QAbstractButton>
#include <QString>

#include <optional>
#include <string>

namespace celvio {

class MiniRing;

/// One button of the device strip: an icon in a charge ring, a badge in the ring's lower
/// right corner, a short name under it; amber when it stands for the selection.
class StripButton : public QAbstractButton {
    Q_OBJECT

public:
    struct Look {
        QString label;
        bool selected = false;
        std::optional<double> charge;  ///< percent; absent: an empty ring
        bool dimmed = false;           ///< the empty ring dashed and fainter
        std::optional<std::string> badge;

        bool operator==(const Look&) const = default;
    };

    /// Takes ownership of `icon`, which is centred in the ring.
    StripButton(Look look, QWidget* icon, QWidget* parent = nullptr);

    const Look& look() const noexcept { return look_; }
    MiniRing& ring() const noexcept { return *ring_; }
    QWidget* icon() const noexcept { return icon_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look look_;
    MiniRing* ring_;
    QWidget* icon_;
};

}  // namespace celvio
