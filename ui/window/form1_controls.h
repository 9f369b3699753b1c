#pragma once

#include "ui/widgets/lazy_file_dialog.h"

class QAction;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QDialog;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMainWindow;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QTabWidget;
class QTextEdit;
class QTimer;
class QWidget;

class CaptionPanel;
class MonitorTableModel;
class TrendChart;

// Every control of the main window, as a form designer would list them: plain pointers, owned by the
// window through Qt's parents, made by setupUi in one go (as Qt's generated Ui:: classes do). The
// window holds behaviour and state; this is where to read what it shows. Each page's part is built by
// the page's own setup function, in the page's file.
struct Form1Controls {
    // ---- Controls: top row ----
    QLabel* Label21 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label22 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QLabel* Label32 = nullptr;
    QComboBox* ComboBox14 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QLabel* Label1 = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    QTabWidget* TabbedNotebook1 = nullptr;

    // ---- Controls, page 0: live value ----
    QLabel* Label2 = nullptr;
    CaptionPanel* Panel1 = nullptr;
    QLabel* Label14 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QLabel* Label4 = nullptr;
    QPlainTextEdit* Memo3 = nullptr;
    QLabel* Label35 = nullptr;
    QComboBox* ComboBox17 = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button10 = nullptr;
    QLabel* Label36 = nullptr;
    QCheckBox* CheckBox11 = nullptr;
    QLabel* Label20 = nullptr;
    CaptionPanel* Panel5 = nullptr;
    QProgressBar* ProgressBar3 = nullptr;
    TrendChart* Chart1 = nullptr;
    QLabel* Label51 = nullptr; // in Panel1 under the value: "нет связи" and the reading's age
    QLabel* Label40 = nullptr;
    QComboBox* ComboBox31 = nullptr; // the trend's span: 1, 10 or 60 minutes
    QPushButton* Button31 = nullptr; // "Сброс": zoom and pan given up
    QPushButton* Button32 = nullptr; // "Сохранить…": CSV or PNG

    // ---- Controls, page 1: sensor configuration ----
    QLabel *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr, *Label9 = nullptr;
    QLabel *Label10 = nullptr, *Label11 = nullptr, *Label15 = nullptr, *Label16 = nullptr;
    QLabel *Label17 = nullptr, *Label18 = nullptr, *Label19 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QComboBox* ComboBox6 = nullptr;
    QComboBox* ComboBox7 = nullptr;
    QComboBox* ComboBox8 = nullptr;
    QComboBox* ComboBox5 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QComboBox* ComboBox11 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button2 = nullptr;
    CaptionPanel* Panel3 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    // ---- Controls, page 2: communication settings ----
    QLabel *Label12 = nullptr, *Label13 = nullptr, *Label30 = nullptr, *Label31 = nullptr, *Label34 = nullptr;
    QComboBox* ComboBox9 = nullptr;
    QComboBox* ComboBox10 = nullptr;
    QComboBox* ComboBox15 = nullptr;
    QComboBox* ComboBox16 = nullptr;
    QPushButton* Button8 = nullptr;
    QCheckBox* CheckBox7 = nullptr;
    QPushButton* Button1 = nullptr;
    CaptionPanel* Panel4 = nullptr;
    QProgressBar* ProgressBar2 = nullptr;

    // ---- Controls, page 3: device search ----
    QLabel *Label23 = nullptr, *Label24 = nullptr, *Label25 = nullptr, *Label26 = nullptr;
    QLabel *Label27 = nullptr, *Label28 = nullptr, *Label33 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr;
    QCheckBox *CheckBox4 = nullptr, *CheckBox5 = nullptr, *CheckBox6 = nullptr;
    QCheckBox *CheckBox8 = nullptr, *CheckBox9 = nullptr, *CheckBox10 = nullptr;
    QComboBox* ComboBox12 = nullptr;
    QComboBox* ComboBox13 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    CaptionPanel* Panel2 = nullptr;
    QProgressBar* ProgressBar4 = nullptr; // the search's probes done

    // ---- Controls, page 4: text and versions ----
    QLabel *Label29 = nullptr, *Label37 = nullptr, *Label38 = nullptr, *Label39 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QLineEdit* Edit9 = nullptr;
    QLineEdit* Edit10 = nullptr;
    QLineEdit* Edit11 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button6 = nullptr;

    // ---- Controls, page 5: line monitor ----
    QPushButton* Button11 = nullptr; // "Слушать" / "Остановить"
    QLabel* Label42 = nullptr;       // "Адрес"
    QComboBox* ComboBox18 = nullptr; // "Все", 1..255
    QPushButton* Button12 = nullptr; // "Сохранить…"
    QPushButton* Button13 = nullptr; // "Открыть…"
    QLabel* Label41 = nullptr;       // counters of the whole capture
    QLabel* Label43 = nullptr;       // counters per address
    QTableView* StringGrid2 = nullptr;
    MonitorTableModel* monitorModel = nullptr;
    // ---- Status bar ----
    QStatusBar* StatusBar1 = nullptr;
    QLabel* Label52 = nullptr; // the link health line

    // ---- Non-visual components ----
    QMenuBar* MainMenu1 = nullptr;
    QMenu* N1 = nullptr; // "Файл"
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr; // "Назначение портов…"
    QAction* N5 = nullptr; // "Сохранить конфигурацию прибора…"
    QAction* N6 = nullptr; // "Открыть конфигурацию прибора…"
    QAction* N7 = nullptr; // "Протокол настройки…"
    QAction* N8 = nullptr; // "Журнал изменений…"
    QAction* N13 = nullptr;         // "Калибровка…"
    QAction* N9 = nullptr;          // "Выход", the last item of "Файл"
    QMenu* N10 = nullptr;           // "Справка"
    QAction* N11 = nullptr;         // "Руководство"
    QAction* N12 = nullptr;         // "О программе"
    QDialog* HelpWindow1 = nullptr; // the guide, made at the first F1
    // The file dialogs, each made when first used.
    LazyFileDialog OpenDialog1;
    LazyFileDialog SaveDialog1;
    LazyFileDialog OpenDialog2; // configuration files
    LazyFileDialog SaveDialog2; // configuration files
    LazyFileDialog SaveDialog3; // records (PDF)
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer3 = nullptr;
    QTimer* Timer4 = nullptr;
    QTimer* Timer5 = nullptr;
    QTimer* Timer6 = nullptr; // the line monitor: drains the port while listening, refreshes the table

    // Builds every control into the window: the link row, the six pages (the shown one is page 4,
    // "Текст"), the status bar, the File and Help menus with their file dialogs, and the timers;
    // captions and design texts set, nothing wired, no list filled.
    void setupUi(QMainWindow* window);

  private:
    void setupLivePage(QWidget* page);
    void setupLiveTrend(QWidget* page, QBoxLayout* column); // Chart1, Label40 and the trend's row
    void setupSensorPage(QWidget* page);
    void setupLinkPage(QWidget* page);
    void setupSearchPage(QWidget* page);
    void setupTextPage(QWidget* page);
    void setupMonitorPage(QWidget* page);
    void setupFileMenu(QMainWindow* window); // N1..N8 and the file dialogs of its items
    void setupExitAndHelp(QMainWindow* window); // "Выход" and "Справка", after every other menu item
};
