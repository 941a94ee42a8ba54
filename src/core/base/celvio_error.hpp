#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace celvio {

/// The one error the core reports for every failure it detects itself. The application
/// and the CLI show `errorText` of it (display/error_text.hpp): the description, except
/// for a pairing reason, whose words name the host.
class CelvioError : public std::exception {
public:
    enum class Kind { socket, usbmux, lockdown, tls, pairing, diagnostics, timeout, connectionClosed, history };
    /// Why the device and this computer cannot talk, when the text for it names the host.
    enum class PairingReason {
        none,
        notPaired,      ///< the daemon holds no pairing record for the device
        invalidHostID,  ///< the device answered "InvalidHostID": it no longer trusts the host
    };

    static CelvioError socket(std::string message) { return {Kind::socket, std::move(message)}; }
    static CelvioError usbmux(std::string message) { return {Kind::usbmux, std::move(message)}; }
    static CelvioError lockdown(std::string message) { return {Kind::lockdown, std::move(message)}; }
    static CelvioError tls(std::string message) { return {Kind::tls, std::move(message)}; }
    static CelvioError pairing(std::string message) { return {Kind::pairing, std::move(message)}; }
    static CelvioError notPaired() {
        return {Kind::pairing, "The device has no pairing record.", PairingReason::notPaired};
    }
    static CelvioError invalidHostID() {
        return {Kind::lockdown, "Device error: InvalidHostID", PairingReason::invalidHostID};
    }
    static CelvioError diagnostics(std::string message) { return {Kind::diagnostics, std::move(message)}; }
    static CelvioError timeout() { return {Kind::timeout, {}}; }
    static CelvioError connectionClosed() { return {Kind::connectionClosed, {}}; }
    /// The history file could not be read or written; the message is the whole text.
    static CelvioError history(std::string message) { return {Kind::history, std::move(message)}; }

    Kind kind() const noexcept { return kind_; }
    PairingReason pairingReason() const noexcept { return reason_; }
    /// The case's message text; empty for `timeout` and `connectionClosed`.
    const std::string& message() const noexcept { return message_; }
    /// The message with its case's prefix: the user-facing text of every error without a
    /// pairing reason.
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const CelvioError& other) const {
        return kind_ == other.kind_ && reason_ == other.reason_ && message_ == other.message_;
    }

private:
    CelvioError(Kind kind, std::string message, PairingReason reason = PairingReason::none);

    Kind kind_;
    PairingReason reason_;
    std::string message_;
    std::string description_;
};

/// A property list that could not be encoded or decoded. It stands for the platform
/// decoder's own error and is passed on unwrapped, like that error would be.
class PropertyListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace celvio
