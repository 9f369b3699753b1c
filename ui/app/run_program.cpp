#include "ui/app/run_program.h"

#include "ui/app/close_signals.h"
#include "ui/app/olv_application.h"
#include "ui/window/form1.h"

#include "link/line_port.h"
#include "settings/station_settings.h"

#include <QMessageBox>

#include <csignal>
#include <exception>
#include <memory>
#include <optional>

int RunProgram(int argc, char** argv, const ExtraOptions& extra, const std::function<void(TForm1&)>& shown) {
    // Under a file size limit (ulimit -f, a service's LimitFSIZE) a write past it would end the program;
    // ignored, it fails with EFBIG and is refused like a write to a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    CommandLine options;
    if (const std::optional<int> exitCode = ParseCommandLine(argc, argv, options, extra)) return *exitCode;
    if (!options.dataFolder.isEmpty() && !EnterDataFolder(options.dataFolder)) return 1;
    OlvApplication app(argc, argv);

    TForm1* window = nullptr;
    CloseSignals closeSignals([&window](int) {
        if (window)
            window->CloseBySignal();
        else
            QCoreApplication::exit(0);
    });

    try {
        Form1Deps deps;
        deps.port = std::make_unique<olv::link::LinePort>();
        deps.resolvePath = &olv::settings::ResolvePortPath;
        deps.runFormCreate = false; // run below, once a signal can already reach the window
        deps.listenAtStart = options.listen;
        TForm1 Form1(std::move(deps));
        window = &Form1;
        // Cleared before the window goes, whichever way it goes (an exception included), so that a
        // signal handled later (during the fatal-error box below) never reaches a destroyed window.
        const std::unique_ptr<TForm1*, void (*)(TForm1**)> forgetWindow(&window,
                                                                        [](TForm1** w) { *w = nullptr; });
        closeSignals.setTransactionWaiting([&window] { return window && window->LineWaiting(); });
        Form1.FormCreate();

        // A signal during start-up may have closed the window already.
        if (Form1.formCloseRuns == 0) {
            Form1.show();
            if (shown) shown(Form1);
            app.exec();
        }
    } catch (const std::exception& error) {
        // A signal during this box finds no window and ends the program (the box's loop included).
        window = nullptr;
        QMessageBox::critical(nullptr, QStringLiteral("Mod Bus OLV 1.1.3.1"),
                              QString::fromLocal8Bit(error.what()));
    }
    return 0;
}
