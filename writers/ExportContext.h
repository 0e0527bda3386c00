#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>

// The program-wide cancel flag: set by the Cancel button, by a No to the
// overwrite question and by leaving the save dialog; tested by every record
// loop. One instance lives as long as the main window; everything else holds
// a reference to it.
class CancelFlag {
public:
    CancelFlag() = default;
    CancelFlag(const CancelFlag &) = delete;
    CancelFlag &operator=(const CancelFlag &) = delete;

    bool isSet() const { return m_set; }
    void set() { m_set = true; }
    void clear() { m_set = false; }
    void setValue(bool value) { m_set = value; }

private:
    bool m_set = false;
};

// Services the event queue, but only when at least the interval has passed
// since it last did: processing an idle queue costs more than writing a row,
// so doing it on every record would dominate the export.
class ThrottledEventHook {
public:
    explicit ThrottledEventHook(int intervalMs = 5) : m_intervalMs(intervalMs) {}
    void operator()();

private:
    static constexpr unsigned kClockStride = 16;

    int m_intervalMs;
    unsigned m_calls = 0;
    QElapsedTimer m_sinceLast;
};

// What a writer needs from the window that runs it.
struct ExportContext {
    // Binds the real overwrite question and the throttled event hook to the flag.
    explicit ExportContext(CancelFlag &cancelFlag);

    CancelFlag &cancel;

    // Called before each record; a click on Cancel reaches the flag through it.
    std::function<void()> beforeRecord;

    // Asked first of all with the full file name; a No sets the cancel flag.
    std::function<void(const QString &fileName)> confirmOverwrite;

    // Optional: (0, record count) once the count is known, then (records
    // written, record count) after each record. Keep it cheap: it runs per row.
    std::function<void(int position, int maximum)> progress;
};
