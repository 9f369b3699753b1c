#pragma once

#include "ui/app/olv_application.h"

#include <QTest>

// The window's tests run offscreen in the program's own application object (which routes escaped
// exceptions to the window). Each form makes its own working folder (FormFixture).
#define OLV_UI_TEST_MAIN(TestClass)                                                                          \
    int main(int argc, char** argv) {                                                                        \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");         \
        OlvApplication app(argc, argv);                                                                      \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
