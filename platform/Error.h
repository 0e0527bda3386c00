#pragma once

#include <QString>
#include <stdexcept>

namespace platform {

// Every failure the tool reports is one of these: an exception carrying the
// message that the user sees in the error box.
class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// A registry value that exists but cannot be read as asked (a non-string read as text).
class RegistryError : public Error {
public:
    using Error::Error;
};

} // namespace platform
