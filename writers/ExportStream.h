#pragma once

#include <QString>
#include <QStringView>
#include <cstring>
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
    void appendText(QStringView text)
    {
        // Plain ASCII is the same byte in every ANSI code page: copy it
        // straight across and leave the converter for text that needs it.
        const qsizetype size = text.size();
        if (m_used + size <= m_capacity) {
            char *const at = m_buffer.get() + m_used;
            const char16_t *const src = text.utf16();
            for (qsizetype i = 0; i < size; ++i) {
                const char16_t c = src[i];
                if (c >= 0x80)
                    return appendConverted(text);
                at[i] = char(c);
            }
            m_used += size;
            return;
        }
        appendTextSlow(text);
    }
    // As appendText, in double quotes, each double quote inside doubled.
    void appendQuotedText(QStringView text)
    {
        const qsizetype size = text.size();
        if (m_used + 2 * size + 2 <= m_capacity) {
            char *const start = m_buffer.get() + m_used;
            char *at = start;
            *at++ = '"';
            const char16_t *const src = text.utf16();
            for (qsizetype i = 0; i < size; ++i) {
                const char16_t c = src[i];
                if (c >= 0x80)
                    return appendQuotedSlow(text);   // nothing kept of this pass
                *at++ = char(c);
                if (c == u'"')
                    *at++ = '"';
            }
            *at++ = '"';
            m_used += at - start;
            return;
        }
        appendQuotedSlow(text);
    }
    // As appendQuotedText, for bytes already in the code page.
    void appendQuotedLatin1(std::string_view bytes)
    {
        const auto size = qsizetype(bytes.size());
        if (m_used + 2 * size + 2 > m_capacity) {
            flush();
            if (2 * size + 2 > m_capacity)
                return appendQuotedText(QString::fromLatin1(bytes.data(), size));
        }
        char *const start = m_buffer.get() + m_used;
        char *at = start;
        *at++ = '"';
        for (const char c : bytes) {   // values are short: a loop beats two calls
            *at++ = c;
            if (c == '"')
                *at++ = '"';
        }
        *at++ = '"';
        m_used += at - start;
    }
    // Mark-up and separators, already 8-bit.
    void appendLatin1(std::string_view bytes)
    {
        const auto size = qsizetype(bytes.size());
        if (m_used + size <= m_capacity) {
            std::memcpy(m_buffer.get() + m_used, bytes.data(), bytes.size());
            m_used += size;
            return;
        }
        appendLatin1Slow(bytes);
    }
    void appendChar(char c)
    {
        if (m_used == m_capacity)
            flush();
        m_buffer[size_t(m_used++)] = c;
    }
    void endLine() { appendLatin1("\r\n"); }

    // Hands everything appended so far to the device.
    void flush();

    const QString &fileName() const { return m_fileName; }

private:
    char *reserve(qsizetype count);
    void appendLatin1Slow(std::string_view bytes);
    void appendTextSlow(QStringView text);
    void appendConverted(QStringView text);
    void appendQuotedSlow(QStringView text);
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
