#pragma once

#include <QFlags>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform {

// Plain: no icon (the login refusals, the save failure).
enum class MessageKind { Information, Warning, Error, Question, Plain };

enum class MessageButton { None = 0, Ok = 0x1, Cancel = 0x2, Yes = 0x4, No = 0x8 };
Q_DECLARE_FLAGS(MessageButtons, MessageButton)
Q_DECLARE_OPERATORS_FOR_FLAGS(MessageButtons)

// The first of the buttons in the order Ok, Yes, No, Cancel (Ok for none):
// the answer a box gives when nobody picks one.
MessageButton firstButton(MessageButtons buttons);

// Every message box of the tool goes through the host in force.
class MessageHost {
public:
    virtual ~MessageHost();
    // Shows the box modally and answers the button chosen (one of buttons).
    virtual MessageButton show(MessageKind kind, const QString &title, const QString &text,
                               MessageButtons buttons) = 0;
};

// The real host: a QMessageBox with the standard icon of the kind. Without a
// QApplication it writes the box to standard error and answers firstButton().
class WidgetMessageHost : public MessageHost {
public:
    MessageButton show(MessageKind kind, const QString &title, const QString &text,
                       MessageButtons buttons) override;
};

// The host in force (the real one unless one is installed).
MessageHost &messageHost();
// Installs a host; nullptr goes back to the real one. The caller keeps ownership.
void setMessageHost(MessageHost *host);

MessageButton showMessage(MessageKind kind, const QString &title, const QString &text,
                          MessageButtons buttons = MessageButton::Ok);

// For tests: records every box in order and answers from a queue of scripted
// answers; with the queue empty it answers firstButton(buttons) (Ok, or Yes for
// a Yes/No question). Installs itself when made and puts the previous host
// back when destroyed.
class ScriptedMessageHost : public MessageHost {
public:
    struct Box {
        MessageKind kind;
        QString title;
        QString text;
        MessageButtons buttons;
        MessageButton answer;
    };

    ScriptedMessageHost();
    ~ScriptedMessageHost() override;
    ScriptedMessageHost(const ScriptedMessageHost &) = delete;
    ScriptedMessageHost &operator=(const ScriptedMessageHost &) = delete;

    MessageButton show(MessageKind kind, const QString &title, const QString &text,
                       MessageButtons buttons) override;

    void addAnswer(MessageButton answer) { m_answers.append(answer); }
    qsizetype pendingAnswers() const { return m_answers.size(); }
    const QList<Box> &boxes() const { return m_boxes; }
    QStringList texts() const;
    void clear() { m_boxes.clear(); m_answers.clear(); }

private:
    MessageHost *m_previous = nullptr;
    QList<Box> m_boxes;
    QList<MessageButton> m_answers;
};

QString messageKindName(MessageKind kind);

} // namespace platform
