#include "controls/DateEdit.h"

#include "platform/Regional.h"
#include "platform/Clock.h"

#include <QBoxLayout>
#include <QPushButton>

TodayCalendar::TodayCalendar(QWidget *parent)
    : QCalendarWidget(parent)
{
    setGridVisible(false);
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_today = new QPushButton(tr("Today"), this);
    m_today->setObjectName(QStringLiteral("btnToday"));
    m_today->setAccessibleName(tr("Today"));
    m_today->setAutoDefault(false);
    // The calendar's own layout holds the navigation bar and the month view;
    // the button goes beneath them.
    if (auto *box = qobject_cast<QBoxLayout *>(layout()))
        box->addWidget(m_today, 0, Qt::AlignHCenter);
    connect(m_today, &QPushButton::clicked, this, &TodayCalendar::selectToday);
}

void TodayCalendar::selectToday()
{
    const QDate today = platform::today();
    setSelectedDate(today);
    // The drop-down takes a clicked date as the choice and closes.
    emit clicked(today);
}

DateEdit::DateEdit(QWidget *parent)
    : QDateEdit(parent)
{
    setCalendarPopup(true);
    m_calendar = new TodayCalendar(this);
    setCalendarWidget(m_calendar);
    setMinimumDate(QDate(1753, 1, 1));
    useRegionalFormat();
}

void DateEdit::useRegionalFormat()
{
    const QString pattern = platform::regionalSettings().shortDateFormat;
    if (!pattern.isEmpty())
        setDisplayFormat(pattern);
}

void DateEdit::showEvent(QShowEvent *event)
{
    // Regional settings are read at the time of use.
    useRegionalFormat();
    QDateEdit::showEvent(event);
}
