#include "controls/CaptionGroupBox.h"

#include <QChildEvent>
#include <QEvent>

CaptionGroupBox::CaptionGroupBox(QWidget *parent)
    : QGroupBox(parent)
{
    applyCaptionLook();
}

CaptionGroupBox::CaptionGroupBox(const QString &title, QWidget *parent)
    : QGroupBox(title, parent)
{
    applyCaptionLook();
}

void CaptionGroupBox::applyCaptionLook()
{
    m_applying = true;
    QFont f = font();
    f.setBold(true);
    setFont(f);
    QPalette p = palette();
    const QColor caption = p.color(QPalette::Active, QPalette::Highlight);
    p.setColor(QPalette::WindowText, caption);
    p.setColor(QPalette::Text, caption);
    setPalette(p);
    m_applying = false;
    for (QObject *o : children())
        if (o->isWidgetType())
            keepChildLook(static_cast<QWidget *>(o));
}

void CaptionGroupBox::keepChildLook(QWidget *child)
{
    // The caption's weight and colour must not reach the controls inside:
    // give each child explicit normal values, which beat inheritance.
    QFont f = child->font();
    f.setBold(false);
    child->setFont(f);
    const QPalette base = parentWidget() ? parentWidget()->palette() : QPalette();
    QPalette p = child->palette();
    for (auto role : {QPalette::WindowText, QPalette::Text}) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            p.setColor(group, role, base.color(group, role));
    }
    child->setPalette(p);
}

void CaptionGroupBox::childEvent(QChildEvent *event)
{
    QGroupBox::childEvent(event);
    if (event->type() == QEvent::ChildPolished && event->child()->isWidgetType())
        keepChildLook(static_cast<QWidget *>(event->child()));
}

void CaptionGroupBox::changeEvent(QEvent *event)
{
    QGroupBox::changeEvent(event);
    // A new font or palette from the window (its pixel height, a theme change)
    // arrives without the caption's settings: put them back.
    if (!m_applying && event->type() == QEvent::ParentChange)
        applyCaptionLook();
}
