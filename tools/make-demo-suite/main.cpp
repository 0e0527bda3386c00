// make-demo-suite DIR [--size tiny|small|large] [--gifts N] [--seed S] [--today YYYY-MM-DD]
//
// Writes a complete suite installation with sample data into DIR and prints
// the environment that points Tallyport at it and the demo log-ins.
// Exit codes: 0 written, 1 failed while writing, 2 bad arguments.

#include "DemoSuite.h"

#include "platform/Error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>
#include <exception>

namespace {

const char kUsage[] =
    "usage: make-demo-suite DIR [--size tiny|small|large] [--gifts N] [--seed S] [--today YYYY-MM-DD]\n"
    "  DIR      a new or empty folder for the installation\n"
    "  --size   tiny (a few dozen rows), small (the demo, default) or large\n"
    "           (50,000 contributors, 1,000,000 gift lines)\n"
    "  --gifts  number of gift lines instead of the size's own\n"
    "  --seed   seed of the sample data (default 1); the same seed gives the same data\n"
    "  --today  the day the three years of gifts run up to (default: the current date)\n";

struct Arguments {
    QString dir;
    DemoSuite::Options options;
};

class UsageError {
public:
    explicit UsageError(QString message) : text(std::move(message)) {}
    QString text;
};

Arguments parse(const QStringList &args)
{
    Arguments parsed;
    parsed.options.size = DemoSuite::Size::Small;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        const auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw UsageError(QStringLiteral("%1 needs a value").arg(arg));
            return args.at(++i);
        };
        if (arg == QLatin1String("--size")) {
            const QString name = value();
            const auto size = DemoSuite::sizeFromName(name);
            if (!size)
                throw UsageError(QStringLiteral("unknown size \"%1\" (tiny, small or large)").arg(name));
            parsed.options.size = *size;
        } else if (arg == QLatin1String("--gifts")) {
            const QString text = value();
            bool ok = false;
            const int gifts = text.toInt(&ok);
            if (!ok || gifts < 0)
                throw UsageError(QStringLiteral("--gifts wants a whole number of 0 or more, not \"%1\"").arg(text));
            parsed.options.gifts = gifts;
        } else if (arg == QLatin1String("--seed")) {
            const QString text = value();
            bool ok = false;
            const qulonglong seed = text.toULongLong(&ok);
            if (!ok)
                throw UsageError(QStringLiteral("--seed wants a whole number, not \"%1\"").arg(text));
            parsed.options.seed = seed;
        } else if (arg == QLatin1String("--today")) {
            const QString text = value();
            const QDate day = QDate::fromString(text, Qt::ISODate);
            if (!day.isValid())
                throw UsageError(QStringLiteral("--today wants a date as YYYY-MM-DD, not \"%1\"").arg(text));
            parsed.options.today = day;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            throw UsageError(QStringLiteral("unknown option %1").arg(arg));
        } else if (parsed.dir.isEmpty()) {
            parsed.dir = arg;
        } else {
            throw UsageError(QStringLiteral("only one folder may be given (%1 and %2)").arg(parsed.dir, arg));
        }
    }
    if (parsed.dir.isEmpty())
        throw UsageError(QStringLiteral("no folder given"));
    return parsed;
}

QString sizeName(DemoSuite::Size size)
{
    switch (size) {
    case DemoSuite::Size::Tiny:
        return QStringLiteral("tiny");
    case DemoSuite::Size::Small:
        return QStringLiteral("small");
    case DemoSuite::Size::Large:
        return QStringLiteral("large");
    }
    return {};
}

QString loginNote(const DemoSuite::User &user)
{
    if (user.mayLogIn())
        return QStringLiteral("may use Tallyport (permission 307)");
    if (!user.permission307)
        return QStringLiteral("refused: no permission 307");
    return QStringLiteral("refused: permission 307 is %1").arg(*user.permission307);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList args = QCoreApplication::arguments();
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << kUsage;
        return 0;
    }
    Arguments parsed;
    try {
        parsed = parse(args);
    } catch (const UsageError &e) {
        err << "make-demo-suite: " << e.text << "\n" << kUsage;
        return 2;
    }

    const bool longRun = (parsed.options.gifts >= 0 ? parsed.options.gifts
                                                    : DemoSuite::defaultGiftCount(parsed.options.size)) >= 100000;
    QElapsedTimer timer;
    timer.start();
    if (longRun) {
        parsed.options.progress = [&err, &timer](const QString &text) {
            err << QString::asprintf("%7.1f s  ", double(timer.elapsed()) / 1000.0) << text << Qt::endl;
        };
    }

    DemoSuite::Installation result;
    try {
        result = DemoSuite::write(parsed.dir, parsed.options);
    } catch (const std::exception &e) {
        err << "make-demo-suite: " << QString::fromUtf8(e.what()) << Qt::endl;
        return 1;
    }

    out << "Demo suite installation written to " << result.root << " (size " << sizeName(parsed.options.size)
        << ", seed " << parsed.options.seed << ") in " << QString::asprintf("%.1f", double(timer.elapsed()) / 1000.0)
        << " s:\n"
        << "  " << result.synods.size() << " synods and church bodies, " << result.congregations.size()
        << " congregations, " << result.peopleCount << " people in " << result.familyCount << " families, "
        << result.funds.size() << " funds, " << result.giftCount << " gift lines from "
        << result.firstGiftDate.toString(Qt::ISODate) << " to " << result.lastGiftDate.toString(Qt::ISODate) << "\n"
        << "  tables in " << result.peopleDataDirectory << "\n\n"
        << "Point Tallyport at it with:\n"
        << "  export XDG_CONFIG_DIRS=\"" << result.xdgConfigDirs << "\"\n"
        << "  export XDG_CONFIG_HOME=\"" << result.xdgConfigHome << "\"\n"
        << "  export APPDATA=\"" << result.appData << "\"\n\n"
        << "Log-ins (user name / password):\n";
    for (const DemoSuite::User &user : result.users)
        out << "  " << QStringLiteral("%1 / %2").arg(user.name, user.password).leftJustified(24) << loginNote(user)
            << "\n";
    out.flush();
    return 0;
}
