#pragma once

#include <QString>
#include <QStringView>
#include <functional>
#include <memory>
#include <string_view>

class QIODevice;
struct ExportContext;

namespace writers {

// The bytes of an export file on their way to the device: text is turned into
// the ANSI code page as it is appended and collected in one large buffer,
// which goes to the device in big writes. Memory stays flat however many rows
// pass through. A write that the device refuses raises platform::Error naming
// the file; nothing is lost silently.
class ExportStream {
public:
    static constexpr qsizetype kDefaultBufferSize = qsizetype(1) << 20;

    ExportStream(QIODevice &device, const QString &fileName,
                 qsizetype bufferSize = kDefaultBufferSize);
    ExportStream(const ExportStream &) = delete;
    ExportStream &operator=(const ExportStream &) = delete;
    ~ExportStream();

    // Text in the ANSI code page: one byte a character, '?' for a character
    // the page lacks.
    void appendText(QStringView text);
    // Mark-up and separators, already 8-bit.
    void appendLatin1(std::string_view bytes);
    void endLine() { appendLatin1("\r\n"); }

    // Hands everything appended so far to the device.
    void flush();

    const QString &fileName() const { return m_fileName; }

private:
    char *reserve(qsizetype count);
    void writeToDevice(const char *data, qsizetype size);

    QIODevice &m_device;
    QString m_fileName;
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_capacity;
    qsizetype m_used = 0;
};

// The frame every writer shares: ConfirmOverwrite first, nothing created when
// the flag is then set; otherwise the file is created (or truncated) and
// rows(stream) writes it. The stream is flushed and the file closed however
// rows ends: on a failure the lines before it stay in the file, and the
// failure goes on to the caller.
void writeExportFile(const QString &fileName, ExportContext &context,
                     const std::function<void(ExportStream &)> &rows);

} // namespace writers
