// scramble-password TEXT [--key K]
// Prints the scrambled upper-case hex form of TEXT that the tool decodes at
// start-up. K is the scramble key, 0..255 (decimal, or hex with 0x); a random
// key is used when none is given.

#include "connect/zeltEncrypt.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("scramble-password"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Scrambles a password into the hex form stored in the tool."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The text to scramble."));
    const QCommandLineOption keyOption(QStringLiteral("key"),
                                       QStringLiteral("Scramble key 0..255 (default: random)."),
                                       QStringLiteral("K"));
    parser.addOption(keyOption);
    parser.process(app);

    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        err << "usage: scramble-password TEXT [--key K]\n";
        return 2;
    }

    // Passwords are 8-bit text: every character must fit in one byte.
    const QString text = args.first();
    for (QChar c : text) {
        if (c.unicode() > 0xFF) {
            err << "scramble-password: TEXT must be 8-bit text\n";
            return 2;
        }
    }
    if (text.isEmpty()) {
        err << "scramble-password: TEXT is empty\n";
        return 2;
    }

    quint8 key = quint8(QRandomGenerator::system()->bounded(256));
    if (parser.isSet(keyOption)) {
        bool ok = false;
        const uint value = parser.value(keyOption).toUInt(&ok, 0);
        if (!ok || value > 255) {
            err << "scramble-password: K must be a number from 0 to 255\n";
            return 2;
        }
        key = quint8(value);
    }

    QTextStream(stdout) << QString::fromLatin1(EncodeString(text.toLatin1(), key)) << '\n';
    return 0;
}
