#include "widgets/device_strip.hpp"

#include "style/ui_text.hpp"
#include "widgets/icon_view.hpp"
#include "platform/host_words.hpp"
#include "widgets/spinner.hpp"
#include "style/symbols.hpp"
#include "style/theme.hpp"
#include "widgets/widget_slot.hpp"

#include "style/appearance.hpp"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QStringList>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace celvio {
namespace {

/// The widget that draws an icon.
QWidget* makeIcon(const StripIcon& icon, QWidget* parent) {
    if (const auto* model = std::get_if<ModelIcon>(&icon)) {
        auto* view = new IconView(model->fallback == "laptopcomputer" ? 24 : 22, parent);
        view->setIcon(Symbols::deviceIcon(model->model, model->fallback));
        return view;
    }
    if (const auto* symbol = std::get_if<SymbolIcon>(&icon)) {
        QLabel* label = Symbols::label(symbol->name, symbol->size, symbol->colour, parent);
        label->setFixedSize(26, 26);
        return label;
    }
    return new Spinner(14, parent);
}

/// What a screen reader says for a button: its label, and its charge when it has one.
QString spoken(const QString& label, std::optional<double> charge) {
    return charge ? QString("%1, %2 charge").arg(label, UiText::percent(*charge, 0)) : label;
}

}  // namespace

std::vector<StripItem> stripItems(const Selection& selection, const std::optional<MacBatteryInfo>& macBattery,
                                  const MacSystemInfo& macSystem, const std::vector<MuxDevice>& devices,
                                  const DeviceStates& deviceStates) {
    std::vector<StripItem> items;

    std::optional<double> macCharge;
    if (macBattery) macCharge = static_cast<double>(macBattery->chargePercent);
    const QString kind = UiText::fromStd(macSystem.kind.empty() ? std::string(hostWords().host) : macSystem.kind);
    items.push_back({"strip:mac",
                     {kind, selection.kind == Selection::Kind::mac, macCharge, false, std::nullopt,
                      spoken(kind, macCharge), UiText::fromStd(macSystem.computerName)},
                     ModelIcon{macSystem.modelIdentifier, "laptopcomputer"},
                     Selection::mac()});

    for (const MuxDevice& device : devices) {
        const auto found = deviceStates.find(device.udid);
        const DeviceState* state = found == deviceStates.end() ? nullptr : &found->second;
        StripItem item{"strip:device",
                       {QString::fromUtf8("\u2026"), selection.isDevice(device.udid), std::nullopt, false,
                        std::nullopt, "Reading device", {}},
                       SpinnerIcon{},
                       Selection::device(device.udid)};
        QStringList detail;
        if (state && state->kind == DeviceState::Kind::loaded && state->info) {
            const IOSDeviceInfo& info = *state->info;
            item.look.label = UiText::fromStd(info.name);
            if (info.battery.chargePercent) item.look.charge = static_cast<double>(*info.battery.chargePercent);
            if (!info.productType.empty()) item.icon = ModelIcon{info.productType, "iphone"};
            item.look.spoken = spoken(item.look.label, item.look.charge);
        } else if (state && state->kind == DeviceState::Kind::failed) {
            // A first read that failed has no name to show: the UDID tells two such apart.
            item.look.label = "Error";
            item.look.spoken = "Device " + UiText::fromStd(device.udid) + ", could not be read";
            item.icon = SymbolIcon{"exclamationmark.triangle.fill", 18, Theme::orange()};
            detail << "Device " + UiText::fromStd(device.udid);
        }
        if (state && state->error) detail << UiText::fromStd(*state->error);
        if (device.connection == MuxDevice::Connection::network) {
            item.look.badge = "wifi";
            detail << QString::fromUtf8("Connected over Wi\u2011Fi");
        }
        item.look.detail = detail.join('\n');
        items.push_back(std::move(item));
    }

    if (devices.empty())
        items.push_back({"strip:placeholder",
                         {"iPhone", selection.kind == Selection::Kind::connectHelp, std::nullopt, true, std::nullopt,
                          "No iPhone or iPad", "How to connect one"},
                         SymbolIcon{"iphone.slash", 16, Theme::faint()},
                         Selection::connectHelp()});
    items.push_back({"strip:history",
                     {"History", selection.kind == Selection::Kind::history, std::nullopt, false, std::nullopt,
                      "History", "Battery health over time, of every device"},
                     SymbolIcon{"chart.xyaxis.line", 15, Theme::amber()},
                     Selection::history()});
    return items;
}

namespace {

constexpr int padding = 10;
constexpr int spacing = 4;
constexpr int fadeWidth = 22;
constexpr double ringCentre = 5 + 38 / 2.0;  // of a button, from its top

/// The fade over one edge of the strip, with a chevron: more buttons lie beyond it.
class EdgeFade : public QWidget {
public:
    EdgeFade(bool left, QWidget* strip) : QWidget(strip), left_(left) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        // The window's gradient as it lies under this spot, kept where the ramp is opaque.
        QImage layer(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        layer.setDevicePixelRatio(devicePixelRatioF());
        layer.fill(Qt::transparent);
        {
            QPainter painter(&layer);
            QWidget* strip = parentWidget();
            QWidget* ground = strip->parentWidget() ? strip->parentWidget() : strip;
            paintBackground(painter, QRect(mapFrom(ground, QPoint(0, 0)), ground->size()));
            painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            QLinearGradient ramp(0, 0, width(), 0);
            ramp.setColorAt(left_ ? 0.3 : 0.7, Qt::black);
            ramp.setColorAt(left_ ? 1 : 0, Qt::transparent);
            painter.fillRect(rect(), ramp);
        }
        QPainter painter(this);
        painter.drawImage(0, 0, layer);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::muted(), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const double tip = left_ ? 4 : width() - 4;
        const double back = left_ ? tip + 3.5 : tip - 3.5;
        const QPointF chevron[] = {{back, ringCentre - 5}, {tip, ringCentre}, {back, ringCentre + 5}};
        painter.drawPolyline(chevron, 3);
    }

private:
    bool left_;
};

}  // namespace

DeviceStrip::DeviceStrip(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName("Devices");
    setAccessibleDescription("Left and Right move between the buttons; Space or Return shows one");
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    fades_[0] = new EdgeFade(true, this);
    fades_[1] = new EdgeFade(false, this);
    installEventFilter(this);
    pending_.setSingleShot(true);
    pending_.setInterval(0);
    connect(&pending_, &QTimer::timeout, this, &DeviceStrip::rebuild);
}

void DeviceStrip::setItems(std::vector<StripItem> items) {
    wanted_ = std::move(items);
    // Changes arrive in bursts and some from the strip's own clicks.
    if (shown_.empty())
        rebuild();
    else
        pending_.start();
}

QSize DeviceStrip::sizeHint() const { return {rowWidth(), minimumSizeHint().height()}; }

QSize DeviceStrip::minimumSizeHint() const { return {0, buttons_.empty() ? 0 : buttons_.front()->height()}; }

int DeviceStrip::rowWidth() const {
    int width = 2 * padding - spacing;
    for (const StripButton* button : buttons_) width += button->width() + spacing;
    return width;
}

int DeviceStrip::selectedIndex() const {
    for (std::size_t i = 0; i < shown_.size(); ++i)
        if (shown_[i].look.selected) return static_cast<int>(i);
    return 0;
}

void DeviceStrip::rebuild() {
    // Most changes (a new reading of the same charge) leave the strip as it is.
    if (wanted_ == shown_) return;
    const auto target = [](const std::vector<StripItem>& items, int index) {
        return index < static_cast<int>(items.size()) ? std::optional(items[static_cast<std::size_t>(index)].target)
                                                      : std::nullopt;
    };
    const std::optional<Selection> wasSelected = target(shown_, selectedIndex());
    const std::optional<Selection> wasMarked = target(shown_, marked_);
    const std::size_t wasCount = shown_.size();
    for (StripButton* button : buttons_) discardLater(button);
    buttons_.clear();
    for (const StripItem& item : wanted_) {
        auto* button = new StripButton(item.look, makeIcon(item.icon, this), this);
        button->setObjectName(item.name);
        if (item.target.kind == Selection::Kind::device)
            button->setProperty("udid", QString::fromStdString(item.target.udid));
        connect(button, &StripButton::clicked, this, [this, target = item.target] { emit selectionRequested(target); });
        button->installEventFilter(this);
        button->show();
        buttons_.push_back(button);
    }
    shown_ = wanted_;
    // The mark follows a new selection, however it was made; while the arrow keys move it
    // and buttons come and go around it, it stays on its item.
    const bool newSelection = wasSelected != target(shown_, selectedIndex());
    marked_ = selectedIndex();
    for (std::size_t i = 0; hasFocus() && !newSelection && i < shown_.size(); ++i)
        if (wasMarked == shown_[i].target) marked_ = static_cast<int>(i);
    for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setMarked(static_cast<int>(i) == marked_);
    updateGeometry();
    scrollTo(offset_);
    // A device coming or going before the selection moves it too.
    if (newSelection || shown_.size() != wasCount) reveal(selectedIndex());
    for (QWidget* fade : fades_) fade->raise();
}

void DeviceStrip::scrollTo(int offset) {
    const int end = std::max(0, rowWidth() - width());
    offset_ = std::clamp(offset, 0, end);
    int x = padding - offset_;
    for (StripButton* button : buttons_) {
        button->move(x, 0);
        x += button->width() + spacing;
    }
    fades_[0]->setGeometry(0, 0, fadeWidth, height());
    fades_[1]->setGeometry(width() - fadeWidth, 0, fadeWidth, height());
    fades_[0]->setVisible(offset_ > 0);
    fades_[1]->setVisible(offset_ < end);
}

void DeviceStrip::reveal(int index) {
    if (index < 0 || index >= static_cast<int>(buttons_.size()) || width() <= 0) return;
    int left = padding;
    for (int i = 0; i < index; ++i) left += buttons_[static_cast<std::size_t>(i)]->width() + spacing;
    const int right = left + buttons_[static_cast<std::size_t>(index)]->width();
    int offset = offset_;
    if (right + fadeWidth > offset + width()) offset = right + fadeWidth - width();
    if (left - fadeWidth < offset) offset = left - fadeWidth;
    scrollTo(offset);
}

void DeviceStrip::mark(int index) {
    if (buttons_.empty()) return;
    marked_ = std::clamp(index, 0, static_cast<int>(buttons_.size()) - 1);
    for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setMarked(static_cast<int>(i) == marked_);
    reveal(marked_);
    if (hasFocus()) {
        // Screen readers follow the mark as they would the focus of separate buttons.
        QAccessibleEvent moved(buttons_[static_cast<std::size_t>(marked_)], QAccessible::Focus);
        QAccessible::updateAccessibility(&moved);
    }
}

void DeviceStrip::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    mark(marked_);
    for (StripButton* button : buttons_) button->update();
}

void DeviceStrip::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    for (StripButton* button : buttons_) button->update();
}

void DeviceStrip::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        mark(marked_ - 1);
        break;
    case Qt::Key_Right:
        mark(marked_ + 1);
        break;
    case Qt::Key_Home:
        mark(0);
        break;
    case Qt::Key_End:
        mark(static_cast<int>(buttons_.size()) - 1);
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (marked_ < static_cast<int>(buttons_.size())) buttons_[static_cast<std::size_t>(marked_)]->click();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    window()->setAttribute(Qt::WA_KeyboardFocusChange);  // as Tab does: the mark shows from now on
    event->accept();
}

void DeviceStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    scrollTo(offset_);
    reveal(selectedIndex());
}

void DeviceStrip::wheelEvent(QWheelEvent* event) {
    // A wheel notch (120) moves about one button; a touchpad moves by its pixels.
    const QPoint delta = event->pixelDelta().isNull() ? event->angleDelta() / 2 : event->pixelDelta();
    const int before = offset_;
    scrollTo(offset_ - (std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y()));
    event->setAccepted(offset_ != before);
}

bool DeviceStrip::eventFilter(QObject* watched, QEvent* event) {
    // Dragging the row, from a button or between them; a drag is no click.
    auto* button = qobject_cast<StripButton*>(watched);
    if (watched != this && !button) return QWidget::eventFilter(watched, event);
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() == Qt::LeftButton) {
            pressX_ = mouse->globalPosition().x();
            pressOffset_ = offset_;
        }
        break;
    case QEvent::MouseMove: {
        if (!pressX_ || !(mouse->buttons() & Qt::LeftButton) || rowWidth() <= width()) break;
        const double moved = mouse->globalPosition().x() - *pressX_;
        if (!dragging_ && std::abs(moved) < QApplication::startDragDistance()) break;
        if (!dragging_ && button) button->setDown(false);  // so the release clicks nothing
        dragging_ = true;
        scrollTo(pressOffset_ - qRound(moved));
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (mouse->button() == Qt::LeftButton) {
            pressX_.reset();
            dragging_ = false;
        }
        break;
    default:
        break;
    }
    return false;
}

}  // namespace celvio
