// The texts of --help and --version.
#include "cli/options.h"

namespace olv::cli {

QString VersionText() {
    return QStringLiteral("Mod Bus OLV " OLV_VERSION);
}

QString HelpText() {
    return QStringLiteral(
        "Использование: modbus-olv-cli КОМАНДА [ПАРАМЕТРЫ]\n"
        "Mod Bus OLV без окна: прибор ОЛВ по Modbus RTU для стендов и сценариев.\n"
        "\n"
        "Команды:\n"
        "  value [--count N] [--interval MS]   показания: время, значение, единицы, слово состояния, его\n"
        "                                      текст (N = 1 по умолчанию, 0 — до Ctrl+C; MS = 1000)\n"
        "  info                                модель, заводской номер, диапазон, подстройка, текст, версии, связь\n"
        "  search [--addresses 1-247] [--bauds 1200,...] [--parities N,O,E]\n"
        "                                      поиск приборов на линии, по строке на найденный прибор\n"
        "  config read [-o ФАЙЛ.cfg]           конфигурация прибора (в файл или на экран)\n"
        "  config write ФАЙЛ.cfg [--yes] [--with-identity] [--with-link]\n"
        "                                      запись конфигурации из файла с проверкой чтением\n"
        "  config compare ФАЙЛ.cfg [--with-identity] [--with-link]\n"
        "                                      сравнение прибора с файлом: 0 совпадает, 1 — поля различаются\n"
        "  link [--new-address A] [--new-baud B] [--new-parity N|O|E] [--new-byte-order 0..3] [--yes]\n"
        "                                      новые параметры связи прибора, с проверкой ответа на них\n"
        "  batch ФАЙЛ.cfg [--assign-addresses ПЕРВЫЙ-ПОСЛЕДНИЙ] [--report ФАЙЛ.csv] [--with-identity]\n"
        "                                      стенд: прибор за прибором — конфигурация, адрес, проверка, отчёт\n"
        "  monitor [--pcap ФАЙЛ] [--seconds S] прослушивание линии без передачи\n"
        "  calibrate [--points P1,P2,...] [--tolerance PCT] [--descending] [--reference-address A]\n"
        "            [--apply-command 'КОМАНДА %p'] [--trim none|zero|two-point] [--yes] [--interval MS]\n"
        "            [--certificate ФАЙЛ.pdf|ФАЙЛ.html] [--csv ФАЙЛ.csv] [--reference ТЕКСТ]\n"
        "            [--reference-serial N] [--reference-certificate N] [--reference-uncertainty U]\n"
        "            [--person ИМЯ] [--ambient °C]\n"
        "                                      калибровка: проверка до подстройки, подстройка, проверка после;\n"
        "                                      0 — годен (после подстройки или, с --trim none, до), 1 — не годен\n"
        "\n"
        "Линия:\n"
        "  --port ПОРТ        COM1..COM8 (по dev.dat), /dev/tty..., /dev/serial/by-id/...,\n"
        "                     tcp://УЗЕЛ:ПОРТ (RTU через шлюз), mbtcp://УЗЕЛ[:ПОРТ] (Modbus TCP)\n"
        "  --address A        сетевой номер прибора 1..247\n"
        "  --baud B           1200, 2400, 4800, 9600, 19200, 38400\n"
        "  --parity P         N, O или E\n"
        "  --timeout MS       тайм-аут ответа, мс\n"
        "  --byte-order O     порядок байт значения 0..3 (по умолчанию — из прибора)\n"
        "  --data-dir DIR     папка станции: dev.dat (порт и связь по умолчанию) и журнал изменений;\n"
        "                     xdg — $XDG_DATA_HOME/modbus-olv, как у ярлыка окна\n"
        "  --json             результаты — по объекту JSON в строке\n"
        "  -h, --help         эта справка;  --version  версия\n"
        "\n"
        "Коды выхода: 0 сделано; 1 проверка или сравнение не прошли (или работа остановлена до конца);\n"
        "2 ошибка в командной строке; 3 порт не открыт, нет ответа или ошибка линии; 4 прибор отказал\n"
        "(ответ-исключение, с его кодом); 5 файл не прочитан, не записан или не принят.\n");
}

} // namespace olv::cli
