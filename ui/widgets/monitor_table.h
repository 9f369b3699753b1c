#pragma once

#include "monitor/capture.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <deque>

// The rows of a capture for StringGrid2. It keeps no copy of them: a million frames cost the capture's
// ring and nothing per row here (the view asks only for the rows it shows). With an address chosen it
// lists the sequence numbers of that address's rows.
class MonitorTableModel : public QAbstractTableModel {
  public:
    enum class Column { Time, Direction, Address, Function, Registers, Meaning, Latency, Crc, Result, Bytes };
    static constexpr int Columns = 10;

    explicit MonitorTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void setCapture(olv::monitor::Capture* capture);
    // -1: every row; 0..255: the rows of that address.
    void setAddressFilter(int address);
    int addressFilter() const { return filter_; }
    // Brings the rows in step with the capture: rows that left its ring go, new ones come, rows whose
    // pairing changed are shown again.
    void sync();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    const olv::monitor::Row* rowAt(int row) const;
    // The text a cell shows (what data() gives for the display).
    QString text(int row, Column column) const;

  private:
    int64_t sequenceOf(int row) const;
    int rowOf(int64_t sequence) const; // the first row at or after the sequence number
    bool shown(int64_t sequence) const;

    olv::monitor::Capture* capture_ = nullptr;
    int filter_ = -1;
    int64_t first_ = 0, end_ = 0;  // every row: the sequence numbers shown
    std::deque<int64_t> filtered_; // one address: the sequence numbers shown
    int64_t scanned_ = 0;          // one address: rows up to here have been looked at
};
