#pragma once

#include "tests/support/fake_port.h"
#include "tests/support/recording_boxes.h"
#include "ui/form1.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace olv::test {

// A window on a fake port with recording message boxes, in a temporary working folder of its own
// (dev.dat and recent.prf land there). The previous working folder is restored afterwards.
class FormFixture {
  public:
    struct Options {
        bool runFormCreate = true;
        bool qtBoxes = false;                       // real QMessageBox boxes instead of recording ones
        std::function<void(const QDir&)> prepare;   // writes files into the folder before start-up
        std::function<void(FakePort&)> preparePort; // scripts the port before start-up
    };

    FormFixture() : FormFixture(Options{}) {}
    static Options WithoutFormCreate() {
        Options options;
        options.runFormCreate = false;
        return options;
    }
    explicit FormFixture(const Options& options);
    ~FormFixture();

    QDir dir() const { return QDir(work_.path()); }
    TForm1& operator*() const { return *form; }
    TForm1* operator->() const { return form.get(); }

    RecordingBoxes boxes;
    FakePort* port = nullptr; // owned by the window
    std::unique_ptr<TForm1> form;

  private:
    QString previousDir_;
    QTemporaryDir work_;
};

// Path of a COM port as the fixture's windows resolve it.
std::string FakePortPath(int portNumber);

// Writes a file with CR LF line ends (the INI files are Windows-style).
void WriteCrlfFile(const QString& path, const QStringList& lines);

// Closes every modal dialog that shows up while it lives (a handler may open a file dialog).
class ModalDismisser {
  public:
    ModalDismisser();
    ~ModalDismisser();

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace olv::test
