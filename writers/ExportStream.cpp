#include "writers/ExportStream.h"

#include "platform/CodePage.h"
#include "platform/Error.h"
#include "writers/ConfirmOverwrite.h"
#include "writers/ExportContext.h"

#include <QDir>
#include <QFile>
#include <QIODevice>

#include <cstring>

namespace writers {

namespace {

QString displayName(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName);
}

} // namespace

ExportStream::ExportStream(QIODevice &device, const QString &fileName, qsizetype bufferSize)
    : m_device(device)
    , m_fileName(fileName)
    , m_buffer(new char[size_t(qMax<qsizetype>(bufferSize, 16))])
    , m_capacity(qMax<qsizetype>(bufferSize, 16))
{
}

ExportStream::~ExportStream() = default;

char *ExportStream::reserve(qsizetype count)
{
    if (m_used + count > m_capacity)
        flush();
    if (count > m_capacity)
        return nullptr;
    return m_buffer.get() + m_used;
}

void ExportStream::appendLatin1Slow(std::string_view bytes)
{
    const auto size = qsizetype(bytes.size());
    if (char *at = reserve(size)) {
        std::memcpy(at, bytes.data(), bytes.size());
        m_used += size;
    } else {
        writeToDevice(bytes.data(), size);
    }
}

void ExportStream::appendTextSlow(QStringView text)
{
    // The buffer is too full for the text: make room and take the fast way.
    if (reserve(text.size()))
        appendText(text);
    else
        appendConverted(text);
}

void ExportStream::appendConverted(QStringView text)
{
    const QByteArray bytes = platform::toAnsi(text);
    appendLatin1(std::string_view(bytes.constData(), size_t(bytes.size())));
}

void ExportStream::appendQuotedSlow(QStringView text)
{
    if (m_used + 2 * text.size() + 2 > m_capacity && 2 * text.size() + 2 <= m_capacity) {
        flush();
        appendQuotedText(text);
        return;
    }
    appendLatin1("\"");
    if (text.contains(u'"')) {
        QString doubled = text.toString();
        doubled.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        appendText(doubled);
    } else {
        appendText(text);
    }
    appendLatin1("\"");
}

void ExportStream::flush()
{
    const qsizetype used = m_used;
    m_used = 0;
    if (used > 0)
        writeToDevice(m_buffer.get(), used);
}

void ExportStream::writeToDevice(const char *data, qsizetype size)
{
    while (size > 0) {
        const qint64 written = m_device.write(data, size);
        if (written <= 0) {
            const QString reason = m_device.errorString();
            throw platform::Error(QStringLiteral("Cannot write to the file %1: %2")
                                      .arg(displayName(m_fileName),
                                           reason.isEmpty() ? QStringLiteral("write failed") : reason));
        }
        data += written;
        size -= qsizetype(written);
    }
}

void writeExportFile(const QString &fileName, ExportContext &context,
                     const std::function<void(ExportStream &)> &rows)
{
    if (context.confirmOverwrite)
        context.confirmOverwrite(fileName);
    else
        ConfirmOverwrite(fileName, context.cancel);
    if (context.cancel.isSet())
        return;

    // Unbuffered: the stream does the buffering, the file adds no second copy.
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        throw platform::Error(QStringLiteral("Cannot create the file %1: %2")
                                  .arg(displayName(fileName), file.errorString()));
    }

    ExportStream stream(file, fileName);
    try {
        rows(stream);
    } catch (...) {
        // Keep the lines written before the failure; report the first failure.
        try {
            stream.flush();
        } catch (...) {
        }
        throw;
    }
    stream.flush();

    file.close();
    if (file.error() != QFileDevice::NoError) {
        throw platform::Error(QStringLiteral("Cannot write to the file %1: %2")
                                  .arg(displayName(fileName), file.errorString()));
    }
}

} // namespace writers
