#pragma once

#include "device/page_writes.h"

#include <functional>

class QProgressBar;
class QWidget;

// The hooks of a multi-block write from the window. `pause` waits between two blocks (the window's
// Pause, which keeps it painting); `bar`, when given, shows the number of acknowledged blocks, and
// `repainted`, when given, is repainted after each so the count shows during the write.
olv::device::WriteHooks WriteProgressHooks(std::function<void(int ms)> pause, QProgressBar* bar = nullptr,
                                           QWidget* repainted = nullptr);
