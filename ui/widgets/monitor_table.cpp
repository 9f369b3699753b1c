#include "ui/widgets/monitor_table.h"

#include "link/exchange_status.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>

#include <algorithm>

using olv::monitor::Direction;
using olv::monitor::Row;

namespace {

const QColor WriteColor(255, 250, 200);  // a write
const QColor LineColor(255, 205, 150);   // a write that changes the line
const QColor BrokenColor(255, 215, 215); // no frame at all
const QColor OwnColor(30, 60, 140);      // the program's own exchanges

QString Milliseconds(olv::monitor::Micros us) {
    return QString::number(static_cast<double>(us) / 1000.0, 'f', 1);
}

olv::monitor::Meaning MeaningOf(const Row& row) {
    return olv::monitor::DescribeFrame(row.adu(), row.aduSize(), row.direction, row.span, row.context);
}

} // namespace

void MonitorTableModel::setCapture(olv::monitor::Capture* capture) {
    beginResetModel();
    capture_ = capture;
    first_ = end_ = scanned_ = capture ? capture->firstSequence() : 0;
    filtered_.clear();
    endResetModel();
    sync();
}

void MonitorTableModel::setAddressFilter(int address) {
    filter_ = address;
    setCapture(capture_);
}

bool MonitorTableModel::shown(int64_t sequence) const {
    const Row* row = capture_->row(sequence);
    return row && (filter_ < 0 || row->address() == filter_);
}

void MonitorTableModel::sync() {
    if (!capture_) return;
    const int64_t first = capture_->firstSequence(), end = capture_->endSequence();
    if (filter_ < 0) {
        // Rows that left the ring first, then the new ones.
        const int64_t gone = std::min(first, end_) - first_;
        if (gone > 0) {
            beginRemoveRows({}, 0, static_cast<int>(gone - 1));
            first_ += gone;
            endRemoveRows();
        }
        if (first_ < first) first_ = end_ = first; // everything shown has gone, and more
        if (end > end_) {
            beginInsertRows({}, static_cast<int>(end_ - first_), static_cast<int>(end - first_ - 1));
            end_ = end;
            endInsertRows();
        }
    } else {
        int gone = 0;
        while (gone < static_cast<int>(filtered_.size()) && filtered_[static_cast<size_t>(gone)] < first)
            ++gone;
        if (gone > 0) {
            beginRemoveRows({}, 0, gone - 1);
            filtered_.erase(filtered_.begin(), filtered_.begin() + gone);
            endRemoveRows();
        }
        std::vector<int64_t> added;
        for (int64_t s = std::max(scanned_, first); s < end; ++s)
            if (shown(s)) added.push_back(s);
        scanned_ = end;
        if (!added.empty()) {
            const int at = static_cast<int>(filtered_.size());
            beginInsertRows({}, at, at + static_cast<int>(added.size()) - 1);
            filtered_.insert(filtered_.end(), added.begin(), added.end());
            endInsertRows();
        }
    }
    const int64_t changed = capture_->takeChanged();
    if (changed >= 0 && rowCount() > 0) {
        const int from = rowOf(changed);
        if (from < rowCount()) emit dataChanged(index(from, 0), index(rowCount() - 1, Columns - 1));
    }
}

int64_t MonitorTableModel::sequenceOf(int row) const {
    return filter_ < 0 ? first_ + row : filtered_[static_cast<size_t>(row)];
}

int MonitorTableModel::rowOf(int64_t sequence) const {
    if (filter_ < 0) return static_cast<int>(std::max<int64_t>(sequence - first_, 0));
    return static_cast<int>(std::lower_bound(filtered_.begin(), filtered_.end(), sequence) -
                            filtered_.begin());
}

int MonitorTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return filter_ < 0 ? static_cast<int>(end_ - first_) : static_cast<int>(filtered_.size());
}

int MonitorTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

const Row* MonitorTableModel::rowAt(int row) const {
    if (!capture_ || row < 0 || row >= rowCount()) return nullptr;
    return capture_->row(sequenceOf(row));
}

QString MonitorTableModel::text(int index, Column column) const {
    const Row* row = rowAt(index);
    if (!row) return {};
    const bool broken = row->direction == Direction::Broken;
    switch (column) {
    case Column::Time:
        return QDateTime::fromMSecsSinceEpoch(row->end / 1000).toString(QStringLiteral("HH:mm:ss.zzz"));
    case Column::Direction:
        return broken                                 ? QStringLiteral("—")
               : row->direction == Direction::Request ? QStringLiteral("запрос")
                                                      : QStringLiteral("ответ");
    case Column::Address:
        return row->address() >= 0 ? QString::number(row->address()) : QString();
    case Column::Function:
        return broken ? QString() : MeaningOf(*row).function;
    case Column::Registers:
        return broken ? QString() : MeaningOf(*row).registers;
    case Column::Meaning: {
        if (broken) return olv::monitor::DescribeBroken(row->bytes.size(), row->lineError);
        const olv::monitor::Meaning m = MeaningOf(*row);
        return m.lineChange ? m.text + QStringLiteral(" — смена линии") : m.text;
    }
    case Column::Latency:
        if (row->latency >= 0) return Milliseconds(row->latency);
        return row->unanswered ? QStringLiteral("нет ответа") : QString();
    case Column::Crc:
        if (row->framing == olv::link::Framing::ModbusTcp) return QStringLiteral("—");
        return row->crcValid ? QStringLiteral("верна") : QStringLiteral("ошибка");
    case Column::Result:
        if (row->hasResult) {
            QString result = olv::link::ExchangeStateText(row->flags, row->exceptionCode).text;
            return result.replace(QStringLiteral(" \r\n"), QStringLiteral(" ")).trimmed();
        }
        if (row->unanswered) return QStringLiteral("нет ответа");
        if (row->source == olv::monitor::Source::Line && row->direction == Direction::Reply &&
            row->latency < 0)
            return QStringLiteral("без запроса");
        return {};
    case Column::Bytes:
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(row->bytes.data()),
                                              static_cast<qsizetype>(row->bytes.size()))
                                       .toHex(' ')
                                       .toUpper());
    }
    return {};
}

QVariant MonitorTableModel::data(const QModelIndex& index, int role) const {
    const Row* row = rowAt(index.row());
    if (!row) return {};
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), static_cast<Column>(index.column()));
    case Qt::ToolTipRole:
        return index.column() == static_cast<int>(Column::Meaning) ? text(index.row(), Column::Meaning)
                                                                   : QVariant();
    case Qt::BackgroundRole: {
        if (row->direction == Direction::Broken) return QBrush(BrokenColor);
        const olv::monitor::Meaning m = MeaningOf(*row);
        if (m.lineChange) return QBrush(LineColor);
        if (m.write) return QBrush(WriteColor);
        return {};
    }
    case Qt::ForegroundRole:
        return row->source == olv::monitor::Source::Own ? QBrush(OwnColor) : QVariant();
    default:
        return {};
    }
}

QVariant MonitorTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const names[Columns] = {"Время",    "Направление",  "Адрес", "Функция",   "Регистры",
                                               "Значение", "Задержка, мс", "CRC",   "Результат", "Байты"};
    return section >= 0 && section < Columns ? QString::fromUtf8(names[section]) : QVariant();
}
