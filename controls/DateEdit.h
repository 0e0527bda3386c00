#pragma once

// The date edit of the main window: a date without time in the user's short
// date format, with a calendar that drops down and carries a "Today" button.

#include <QCalendarWidget>
#include <QDateEdit>

class QPushButton;

// The calendar shown in the drop-down: the month view with a "Today" button
// beneath it.
class TodayCalendar : public QCalendarWidget {
    Q_OBJECT
public:
    explicit TodayCalendar(QWidget *parent = nullptr);
    QPushButton *todayButton() const { return m_today; }

    // Picks today's date as a click on it would, which closes the drop-down.
    void selectToday();

private:
    QPushButton *m_today = nullptr;
};

class DateEdit : public QDateEdit {
    Q_OBJECT
public:
    explicit DateEdit(QWidget *parent = nullptr);
    TodayCalendar *todayCalendar() const { return m_calendar; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void useRegionalFormat();
    TodayCalendar *m_calendar = nullptr;
};
