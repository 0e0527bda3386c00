#include "controls/CaptionGroupBox.h"

#include <QPainter>

CaptionGroupBox::CaptionGroupBox(QWidget *parent)
    : QGroupBox(parent)
{
}

CaptionGroupBox::CaptionGroupBox(const QString &title, QWidget *parent)
    : QGroupBox(title, parent)
{
}

QFont CaptionGroupBox::captionFont() const
{
    QFont f = font();
    f.setBold(true);
    return f;
}

QColor CaptionGroupBox::captionColor() const
{
    return palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Highlight);
}

void CaptionGroupBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QFont font = captionFont();
    const QFontMetrics fm(font);
    // An etched frame whose top line runs through the middle of the caption.
    const int top = fm.height() / 2;
    const QRect box = rect().adjusted(0, top, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(box.adjusted(1, 1, 0, 0));

    const QString caption = title();
    if (caption.isEmpty())
        return;
    const QRect captionRect(8, 0, fm.horizontalAdvance(caption), fm.height());
    painter.fillRect(captionRect, palette().brush(backgroundRole()));
    painter.setFont(font);
    painter.setPen(captionColor());
    painter.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, caption);
}
