#include "ui/widgets/write_progress.h"

#include <QProgressBar>
#include <QWidget>

#include <utility>

olv::device::WriteHooks WriteProgressHooks(std::function<void(int ms)> pause, QProgressBar* bar,
                                           QWidget* repainted) {
    olv::device::WriteHooks hooks;
    if (bar)
        hooks.progress = [bar, repainted](int done, int) {
            bar->setValue(done);
            if (repainted) repainted->repaint();
        };
    hooks.pause = std::move(pause);
    return hooks;
}
