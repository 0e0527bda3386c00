#include "platform/MessageHost.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include <cstdio>

namespace platform {

namespace {

MessageHost *g_installed = nullptr;

QMessageBox::Icon iconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Question: return QMessageBox::Question;
    case MessageKind::Plain: return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

} // namespace

MessageHost::~MessageHost() = default;

MessageButton firstButton(MessageButtons buttons)
{
    for (MessageButton b : {MessageButton::Ok, MessageButton::Yes, MessageButton::No, MessageButton::Cancel}) {
        if (buttons.testFlag(b))
            return b;
    }
    return MessageButton::Ok;
}

QString messageKindName(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information: return QStringLiteral("Information");
    case MessageKind::Warning: return QStringLiteral("Warning");
    case MessageKind::Error: return QStringLiteral("Error");
    case MessageKind::Question: return QStringLiteral("Question");
    case MessageKind::Plain: return QStringLiteral("Plain");
    }
    return {};
}

MessageButton WidgetMessageHost::show(MessageKind kind, const QString &title, const QString &text,
                                      MessageButtons buttons)
{
    if (buttons == MessageButton::None)
        buttons = MessageButton::Ok;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        return firstButton(buttons);
    }

    QMessageBox box(iconOf(kind), title, text, QMessageBox::NoButton, QApplication::activeWindow());
    struct Pair {
        MessageButton ours;
        QMessageBox::StandardButton qt;
    };
    static const Pair pairs[] = {{MessageButton::Ok, QMessageBox::Ok},
                                 {MessageButton::Yes, QMessageBox::Yes},
                                 {MessageButton::No, QMessageBox::No},
                                 {MessageButton::Cancel, QMessageBox::Cancel}};
    for (const Pair &p : pairs) {
        if (buttons.testFlag(p.ours))
            box.addButton(p.qt);
    }
    for (const Pair &p : pairs) {
        if (buttons.testFlag(p.ours)) {
            box.setDefaultButton(p.qt);
            break;
        }
    }
    const auto clicked = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const Pair &p : pairs) {
        if (p.qt == clicked && buttons.testFlag(p.ours))
            return p.ours;
    }
    // Closed without a button (Escape, close box): the way out the box offers.
    if (buttons.testFlag(MessageButton::Cancel))
        return MessageButton::Cancel;
    if (buttons.testFlag(MessageButton::No))
        return MessageButton::No;
    return firstButton(buttons);
}

MessageHost &messageHost()
{
    static WidgetMessageHost real;
    return g_installed ? *g_installed : real;
}

void setMessageHost(MessageHost *host)
{
    g_installed = host;
}

MessageButton showMessage(MessageKind kind, const QString &title, const QString &text, MessageButtons buttons)
{
    return messageHost().show(kind, title, text, buttons);
}

ScriptedMessageHost::ScriptedMessageHost() : m_previous(g_installed)
{
    setMessageHost(this);
}

ScriptedMessageHost::~ScriptedMessageHost()
{
    if (g_installed == this)
        setMessageHost(m_previous);
}

MessageButton ScriptedMessageHost::show(MessageKind kind, const QString &title, const QString &text,
                                        MessageButtons buttons)
{
    const MessageButton answer = m_answers.isEmpty() ? firstButton(buttons) : m_answers.takeFirst();
    m_boxes.append({kind, title, text, buttons, answer});
    return answer;
}

QStringList ScriptedMessageHost::texts() const
{
    QStringList out;
    for (const Box &b : m_boxes)
        out << b.text;
    return out;
}

} // namespace platform
