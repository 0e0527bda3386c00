#include "platform/CodePage.h"

#include "platform/Error.h"

#include <QHash>
#include <QLocale>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>

namespace platform {

namespace {

// One table per code page, built once from iconv: every UTF-16 code unit
// maps to a byte, to "not in the page" or to a longer byte sequence (for
// pages that write a letter as base plus combining mark, such as 1258).
constexpr std::uint16_t kMissing = 0x100;
constexpr std::uint16_t kSequence = 0x200;

struct Table {
    int codePage = 0;
    int maxBytes = 1;
    std::array<std::uint16_t, 0x10000> map{};
    QHash<char16_t, QByteArray> sequences;
};

std::unique_ptr<Table> buildTable(int codePage)
{
    const QByteArray name = "CP" + QByteArray::number(codePage);
    iconv_t cd = iconv_open(name.constData(), "UTF-16LE");
    if (cd == iconv_t(-1))
        throw Error(QStringLiteral("The code page %1 is not available.").arg(codePage));
    auto table = std::make_unique<Table>();
    table->codePage = codePage;
    for (std::uint32_t c = 0; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            table->map[c] = kMissing;
            continue;
        }
        char in[2] = {char(c & 0xFF), char(c >> 8)};
        char out[16];
        char *inPtr = in;
        char *outPtr = out;
        size_t inLeft = 2;
        size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);   // fresh state
        const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const bool ok = rc != size_t(-1) && inLeft == 0 &&
                        iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != size_t(-1);   // flush
        const auto length = int(outPtr - out);
        if (!ok || length == 0) {
            table->map[c] = kMissing;
        } else if (length == 1) {
            table->map[c] = std::uint8_t(out[0]);
        } else {
            table->map[c] = kSequence;
            table->sequences.insert(char16_t(c), QByteArray(out, length));
            table->maxBytes = std::max(table->maxBytes, length);
        }
    }
    iconv_close(cd);
    return table;
}

std::mutex g_tablesMutex;
std::map<int, std::unique_ptr<Table>> g_tables;
std::atomic<const Table *> g_lastTable{nullptr};
std::atomic<int> g_override{0};

const Table &tableFor(int codePage)
{
    const Table *last = g_lastTable.load(std::memory_order_acquire);
    if (last && last->codePage == codePage)
        return *last;
    std::lock_guard lock(g_tablesMutex);
    auto &slot = g_tables[codePage];
    if (!slot) {
        try {
            slot = buildTable(codePage);
        } catch (...) {
            g_tables.erase(codePage);
            throw;
        }
    }
    g_lastTable.store(slot.get(), std::memory_order_release);
    return *slot;
}

int systemCodePage()
{
    static const int codePage = ansiCodePageFor(QLocale::system());
    return codePage;
}

void append(QByteArray &out, QStringView text, const Table &table)
{
    const qsizetype n = text.size();
    if (n == 0)
        return;
    const qsizetype start = out.size();
    out.resize(start + n * table.maxBytes);
    char *dst = out.data() + start;
    const char16_t *src = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = src[i];
        const std::uint16_t v = table.map[c];
        if (v < 0x100) {
            *dst++ = char(v);
        } else if (v == kSequence) {
            const auto seq = table.sequences.constFind(c);
            for (char b : *seq)
                *dst++ = b;
        } else {
            // A surrogate pair is one character: one '?'.
            if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(src[i + 1]))
                ++i;
            *dst++ = '?';
        }
    }
    out.truncate(dst - out.constData());
}

} // namespace

int ansiCodePageFor(const QLocale &locale)
{
    const QLocale::Script script = locale.script();
    switch (locale.language()) {
    case QLocale::Czech:
    case QLocale::Polish:
    case QLocale::Hungarian:
    case QLocale::Slovak:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Romanian:
    case QLocale::Albanian:
        return 1250;
    case QLocale::Bosnian:
    case QLocale::Serbian:
        return script == QLocale::CyrillicScript ? 1251 : 1250;
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Belarusian:
    case QLocale::Bulgarian:
    case QLocale::Macedonian:
        return 1251;
    case QLocale::Greek:
        return 1253;
    case QLocale::Turkish:
    case QLocale::Azerbaijani:
        return 1254;
    case QLocale::Hebrew:
        return 1255;
    case QLocale::Arabic:
    case QLocale::Persian:
    case QLocale::Urdu:
        return 1256;
    case QLocale::Estonian:
    case QLocale::Latvian:
    case QLocale::Lithuanian:
        return 1257;
    case QLocale::Vietnamese:
        return 1258;
    case QLocale::Thai:
        return 874;
    default:
        return 1252;
    }
}

int ansiCodePage()
{
    const int override = g_override.load(std::memory_order_relaxed);
    return override ? override : systemCodePage();
}

void setAnsiCodePageOverride(std::optional<int> codePage)
{
    if (codePage) {
        if (*codePage <= 0)
            throw Error(QStringLiteral("The code page %1 is not available.").arg(*codePage));
        tableFor(*codePage);   // an unknown page fails here, not at the first write
    }
    g_override.store(codePage.value_or(0), std::memory_order_relaxed);
}

void appendAnsi(QByteArray &out, QStringView text, int codePage)
{
    append(out, text, tableFor(codePage));
}

void appendAnsi(QByteArray &out, QStringView text)
{
    append(out, text, tableFor(ansiCodePage()));
}

QByteArray toAnsi(QStringView text, int codePage)
{
    QByteArray out;
    appendAnsi(out, text, codePage);
    return out;
}

QByteArray toAnsi(QStringView text)
{
    QByteArray out;
    appendAnsi(out, text);
    return out;
}

QByteArray toAnsi(const QString &text)
{
    return toAnsi(QStringView(text));
}

} // namespace platform
