// The compare dialog Form2: a configuration file beside the instrument on the line.
#include "ui/dialogs/form2.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

Form2::Form2(const QString& fileName, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Конфигурация прибора: файл и прибор"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel(fileName, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    layout->addWidget(Label1);

    StringGrid1 = new QTableWidget(0, 3, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setHorizontalHeaderLabels(
        {QStringLiteral("Параметр"), QStringLiteral("Прибор"), QStringLiteral("Файл")});
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(StringGrid1, 1);

    CheckBox1 = new QCheckBox(QStringLiteral("Записать также заводской номер и дату выпуска"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    layout->addWidget(CheckBox1);
    CheckBox2 = new QCheckBox(
        QStringLiteral(
            "Записать также параметры связи (прибор будет отвечать по адресу, на скорости и с паритетом "
            "из файла)"),
        this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    layout->addWidget(CheckBox2);

    auto* buttons = new QHBoxLayout();
    Button1 = new QPushButton(QStringLiteral("Записать в прибор"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("Показать на странице"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("Закрыть"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    buttons->addWidget(Button3);
    layout->addLayout(buttons);
    connect(Button3, &QPushButton::clicked, this, &QDialog::reject);
    resize(680, 640);
}

QColor Form2::MarkColor() {
    // Light amber: dark text on it reads on a grey printout and for every kind of colour blindness;
    // the bold type marks the row without the colour.
    return QColor(255, 214, 102);
}

void Form2::ShowRows(const std::vector<olv::records::CompareRow>& rows) {
    StringGrid1->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const olv::records::CompareRow& row = rows[size_t(r)];
        const QString texts[] = {row.name, row.device, row.file};
        for (int column = 0; column < 3; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            if (row.differs) {
                QFont font = item->font();
                font.setBold(true);
                item->setFont(font);
                item->setBackground(MarkColor());
                item->setForeground(Qt::black);
            }
            StringGrid1->setItem(r, column, item);
        }
    }
    StringGrid1->resizeRowsToContents();
}

bool Form2::RowMarked(int row) const {
    const QTableWidgetItem* item = StringGrid1->item(row, 0);
    return item && item->font().bold() && item->background().color() == MarkColor();
}
