#pragma once

#include <QAbstractButton>
#include <QString>

#include <optional>
#include <string>

namespace celvio {

class MiniRing;

/// One button of the device strip: an icon in a charge ring, a badge in the ring's lower
/// right corner, a short name under it; amber when it stands for the selection. Its size
/// is fixed: a longer name elides, the full one in the tooltip. The strip takes the
/// keyboard for all its buttons and marks the one the arrow keys reached.
class StripButton : public QAbstractButton {
    Q_OBJECT

public:
    struct Look {
        QString label;
        bool selected = false;
        std::optional<double> charge;  ///< percent; absent: an empty ring
        bool dimmed = false;           ///< the empty ring dashed and fainter
        std::optional<std::string> badge;
        QString spoken;  ///< the accessible name: the label in words, with the charge
        QString detail;  ///< tooltip and accessible description: what the label leaves out

        bool operator==(const Look&) const = default;
    };

    /// Takes ownership of `icon`, which is centred in the ring.
    StripButton(Look look, QWidget* icon, QWidget* parent = nullptr);

    const Look& look() const noexcept { return look_; }
    MiniRing& ring() const noexcept { return *ring_; }
    QWidget* icon() const noexcept { return icon_; }

    QSize sizeHint() const override;

    /// Whether the strip's keyboard mark is on this button (drawn while the strip has focus).
    void setMarked(bool marked);
    bool marked() const noexcept { return marked_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look look_;
    MiniRing* ring_;
    QWidget* icon_;
    bool marked_ = false;
};

}  // namespace celvio
