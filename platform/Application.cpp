#include "platform/Application.h"

#include "platform/Error.h"
#include "platform/MessageHost.h"

#include <cstdio>

namespace platform {

namespace {

QString &titleStorage()
{
    static QString title;
    return title;
}

void showErrorText(const QString &message)
{
    try {
        showMessage(MessageKind::Error, Application::title(), message, MessageButton::Ok);
    } catch (...) {
        // The box itself failed: the message must not be lost.
        std::fprintf(stderr, "%s: %s\n", qPrintable(Application::title()), qPrintable(message));
    }
}

} // namespace

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    if (!titleStorage().isEmpty())
        setApplicationDisplayName(titleStorage());
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showException(std::current_exception());
        return false;
    }
}

void Application::setTitle(const QString &title)
{
    titleStorage() = title;
    QGuiApplication::setApplicationDisplayName(title);
}

QString Application::title()
{
    if (!titleStorage().isEmpty())
        return titleStorage();
    return QCoreApplication::applicationName();
}

QString exceptionMessage(std::exception_ptr failure)
{
    if (!failure)
        return {};
    try {
        std::rethrow_exception(failure);
    } catch (const Error &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("An unexpected error occurred.");
    }
}

void showException(std::exception_ptr failure)
{
    if (failure)
        showErrorText(exceptionMessage(failure));
}

void handleException(const std::exception &failure)
{
    // Not through an exception_ptr: a copy would slice off the message.
    showErrorText(QString::fromUtf8(failure.what()));
}

bool guarded(const std::function<void()> &f)
{
    return runGuarded(f);
}

} // namespace platform
