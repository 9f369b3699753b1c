#include "ui/app/command_line.h"

#include "ui/app/olv_application.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTranslator>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& options, const ExtraOptions& extra) {
    // A core application (no display) for the parser's own texts, in Russian like the window.
    QCoreApplication core(argc, argv);
    QTranslator qtTranslation;
    InstallQtRussian(qtTranslation);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Mod Bus OLV: связь с прибором ОЛВ по Modbus RTU. Файлы настроек (dev.dat, "
                       "recent.prf) и журналы находятся в рабочей папке."));
    // Not addHelpOption(): its --help-all lists Qt's own options, which this command line refuses.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Показать эту справку."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Работать в папке DIR (создается, если ее нет). DIR = xdg: $XDG_DATA_HOME/modbus-olv "
                       "(по умолчанию ~/.local/share/modbus-olv), папка ярлыка в меню; для папки с именем "
                       "xdg укажите ./xdg."),
        QStringLiteral("DIR"));
    parser.addOption(dataDir);
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Запуск без передачи: открыть порт, сразу перейти в монитор линии и ничего не "
                       "передавать, пока не будет запущен опрос или операция (для линии, где уже есть "
                       "ведущий)."));
    parser.addOption(listen);
    if (extra.add) extra.add(parser);

    const bool parsed = parser.parse(QCoreApplication::arguments());
    const bool emptyFolder = parsed && parser.isSet(dataDir) && parser.value(dataDir).isEmpty();
    const QString extraComplaint = parsed && extra.take ? extra.take(parser) : QString();
    if (!parsed || emptyFolder || !extraComplaint.isEmpty() || !parser.positionalArguments().isEmpty()) {
        const QString complaint =
            !parsed                    ? parser.errorText()
            : emptyFolder              ? QStringLiteral("Пустое имя папки в --data-dir.")
            : !extraComplaint.isEmpty() ? extraComplaint
                                       : QStringLiteral("Лишние аргументы: %1").arg(parser.positionalArguments().join(u' '));
        Print(stderr, complaint + u'\n' + parser.helpText());
        return 2;
    }
    if (parser.isSet(help)) {
        Print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        Print(stdout, QStringLiteral("Mod Bus OLV 1.1.3.1\n"));
        return 0;
    }
    if (parser.isSet(dataDir)) options.dataFolder = DataFolderPath(parser.value(dataDir));
    options.listen = parser.isSet(listen);
    return std::nullopt;
}

QString DataFolderPath(const QString& value) {
    if (value == QLatin1String("xdg"))
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/modbus-olv");
    return value;
}

bool EnterDataFolder(const QString& folder) {
    if (folder.isEmpty() || !QDir().mkpath(folder) || !QDir::setCurrent(folder)) {
        const int error = errno;
        Print(stderr, QStringLiteral("modbus-olv: папка %1 недоступна: %2\n")
                          .arg(folder, QString::fromLocal8Bit(std::strerror(error))));
        return false;
    }
    return true;
}
