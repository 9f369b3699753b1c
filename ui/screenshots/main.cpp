// The screenshot program for the documentation: the window as the program opens it, which saves a
// picture of each page and dialog into the folder of --grab-pages and then closes. Not installed;
// scripts/screenshots runs it against the virtual instrument.
#include "ui/app/run_program.h"
#include "ui/screenshots/page_grabber.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>

int main(int argc, char** argv) {
    const QCommandLineOption grabPages(
        QStringLiteral("grab-pages"),
        QStringLiteral("Сохранить снимок каждой страницы окна в DIR/page<N>.png и завершить работу "
                       "(для иллюстраций документации)."),
        QStringLiteral("DIR"));
    const QCommandLineOption grabLiveSeconds(
        QStringLiteral("grab-live-seconds"),
        QStringLiteral("С --grab-pages: сколько секунд опрашивать прибор на странице текущего значения "
                       "перед ее снимком (по умолчанию 2.5; минута рисует тренд)."),
        QStringLiteral("S"));
    QString folder;   // --grab-pages DIR: a picture of every page into DIR, then quit
    int liveMs = 2500; // --grab-live-seconds S: how long the live page polls before it is grabbed

    ExtraOptions extra;
    extra.add = [&](QCommandLineParser& parser) {
        parser.addOption(grabPages);
        parser.addOption(grabLiveSeconds);
    };
    extra.take = [&](const QCommandLineParser& parser) {
        bool secondsOk = true;
        const double liveSeconds =
            parser.isSet(grabLiveSeconds) ? parser.value(grabLiveSeconds).toDouble(&secondsOk) : 2.5;
        if (!secondsOk || !(liveSeconds >= 0 && liveSeconds < 3600))
            return QStringLiteral("--grab-live-seconds: нужно число секунд от 0 до 3600.");
        if (parser.isSet(grabPages)) folder = QDir(parser.value(grabPages)).absolutePath();
        liveMs = static_cast<int>(liveSeconds * 1000);
        return QString();
    };
    return RunProgram(argc, argv, extra, [&](TForm1& window) {
        if (!folder.isEmpty()) GrabPagesThenClose(window, folder, 1500, liveMs);
    });
}
