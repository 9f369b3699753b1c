#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Mod Bus OLV 1.1.3.1"));
    window.show();
    return app.exec();
}
