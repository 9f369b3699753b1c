// The monitor page's controls: the row of commands and the address filter, the counters, the table.
#include "ui/window/form1_controls.h"

#include "ui/widgets/monitor_table.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

void Form1Controls::setupMonitorPage(QWidget* page) {
    auto* column = new QVBoxLayout(page);
    auto* row = new QHBoxLayout();
    const auto button = [page](QPushButton*& member, const char* name, const QString& caption,
                               const QString& hint) {
        member = new QPushButton(caption, page);
        member->setObjectName(QString::fromLatin1(name));
        member->setAutoDefault(false);
        member->setProperty("hint", hint);
        member->setToolTip(hint);
        return member;
    };
    row->addWidget(button(Button11, "Button11", QStringLiteral("Слушать"),
                          QStringLiteral("Слушать линию, ничего не передавая в неё")));
    Label42 = new QLabel(QStringLiteral("Адрес"), page);
    Label42->setObjectName(QStringLiteral("Label42"));
    row->addWidget(Label42);
    ComboBox18 = new QComboBox(page);
    ComboBox18->setObjectName(QStringLiteral("ComboBox18"));
    ComboBox18->setMaxVisibleItems(16);
    ComboBox18->addItem(QStringLiteral("Все"));
    for (int a = 1; a <= 255; ++a)
        ComboBox18->addItem(QStringLiteral("%1").arg(a, 3, 10, QLatin1Char(' ')));
    ComboBox18->setCurrentIndex(0);
    ComboBox18->setProperty("hint", QStringLiteral("Показывать кадры только этого адреса"));
    ComboBox18->setToolTip(ComboBox18->property("hint").toString());
    row->addWidget(ComboBox18);
    row->addStretch(1);
    row->addWidget(button(Button13, "Button13", QStringLiteral("Открыть…"),
                          QStringLiteral("Открыть запись обмена из файла pcap")));
    row->addWidget(button(Button12, "Button12", QStringLiteral("Сохранить…"),
                          QStringLiteral("Сохранить запись обмена в файл pcap")));
    column->addLayout(row);

    for (auto [member, name] : {std::pair{&Label41, "Label41"}, std::pair{&Label43, "Label43"}}) {
        *member = new QLabel(page);
        (*member)->setObjectName(QString::fromLatin1(name));
        (*member)->setWordWrap(true);
        column->addWidget(*member);
    }

    StringGrid2 = new QTableView(page);
    StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
    monitorModel = new MonitorTableModel(StringGrid2);
    StringGrid2->setModel(monitorModel);
    StringGrid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid2->setWordWrap(false);
    StringGrid2->verticalHeader()->hide();
    // Rows of one height: the view then never measures the rows it does not show.
    StringGrid2->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid2->verticalHeader()->setDefaultSectionSize(StringGrid2->fontMetrics().height() + 4);
    const int widths[MonitorTableModel::Columns] = {90, 70, 45, 130, 70, 330, 80, 55, 150, 260};
    for (int c = 0; c < MonitorTableModel::Columns; ++c)
        StringGrid2->setColumnWidth(c, widths[c]);
    column->addWidget(StringGrid2, 1);
}
