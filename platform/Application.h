#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace platform {

// The application object. An exception escaping an event handler is shown in
// an error box titled with the application title, and the event loop goes on.
class Application : public QApplication {
    Q_OBJECT

public:
    Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // The title of the tool ("Tallyport"): the caption of every error box.
    // Kept apart from any instance, so it works before and without one.
    static void setTitle(const QString &title);
    static QString title();
};

// The text the error box shows for a failure.
QString exceptionMessage(std::exception_ptr failure);

// The default error handler: an error box (kind Error, OK) titled with the
// application title, showing the failure's message.
void showException(std::exception_ptr failure);
void handleException(const std::exception &failure);

// Runs f; a failure is shown by the default error handler and false answered.
bool guarded(const std::function<void()> &f);

template <class F>
bool runGuarded(F &&f)
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        showException(std::current_exception());
        return false;
    }
}

} // namespace platform
