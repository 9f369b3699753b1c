#include "records/page_write_record.h"

#include "device/encodings.h"
#include "device/register_map.h"
#include "settings/ini_file.h"

#include <QDir>

namespace olv::records {

namespace {

namespace reg = device::reg;

void SetWord(InstrumentState& state, int number, uint16_t word) {
    if (number >= 0 && number < reg::ImageSize)
        state.image.words[static_cast<size_t>(number)] = word;
    else if (number == reg::ModuleModel)
        state.image.moduleModel = word;
    else if (number == reg::ModuleHardware)
        state.image.moduleHardware = word;
    else if (number == reg::ModuleSoftware)
        state.image.moduleSoftware = word;
    else if (number == reg::Parity)
        state.parity = word;
}

// `before` with the words of the blocks that match `take`, from `words`.
template <typename Take>
InstrumentState WithWords(const InstrumentState& before, const device::PageWriteResult& result,
                          const std::map<int, uint16_t>& words, Take take) {
    InstrumentState state = before;
    for (const device::BlockOutcome& block : result.blocks) {
        if (!take(block)) continue;
        for (int r = block.block.start; r < block.block.start + block.block.count; ++r)
            if (const auto it = words.find(r); it != words.end()) SetWord(state, r, it->second);
    }
    return state;
}

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

InstrumentState StateAfterWrite(const InstrumentState& before, const device::PageWriteResult& result) {
    return WithWords(before, result, result.readBack, [](const device::BlockOutcome& b) { return b.readBack; });
}

InstrumentState StateMeant(const InstrumentState& before, const device::PageWriteResult& result) {
    return WithWords(before, result, result.sent, [](const device::BlockOutcome&) { return true; });
}

QStringList MismatchedFields(const InstrumentState& before, const device::PageWriteResult& result) {
    // The read-back against what was sent, over the blocks read back only.
    const InstrumentState meant =
        WithWords(before, result, result.sent, [](const device::BlockOutcome& b) { return b.readBack; });
    return DifferingFields(meant, StateAfterWrite(before, result), AllFields);
}

QString JournalOutcome(const InstrumentState& before, const device::PageWriteResult& result) {
    using device::WriteStop;
    QStringList held;
    for (const device::BlockOutcome& block : result.blocks)
        if (block.state == device::BlockState::Held) held << BlockName(block.block.start, block.block.count);
    const QString blocks = held.isEmpty() ? QStringLiteral("ничего не записано")
                                          : QStringLiteral("записаны регистры ") + held.join(QStringLiteral(", "));
    switch (result.stop) {
    case WriteStop::None:
        return QStringLiteral("записано");
    case WriteStop::Refused:
        return QStringLiteral("не записано: ") +
               (result.refusals.empty() ? QString() : result.refusals.front().reason);
    case WriteStop::Exchange:
        return WriteOutcome(result.flags, result.exceptionCode, held);
    case WriteStop::Cancelled:
        return QStringLiteral("прервано; ") + blocks;
    case WriteStop::ReadBack:
        return QStringLiteral("записано без проверки: ") +
               WriteOutcome(result.flags, result.exceptionCode, {}).section(u';', 0, 0);
    case WriteStop::Mismatch:
        return QStringLiteral("прибор возвращает иные значения: %1; %2")
            .arg(MismatchedFields(before, result).join(QStringLiteral(", ")), blocks);
    }
    return {};
}

std::vector<FieldChange> WrittenChanges(const InstrumentState& before, const device::PageWriteResult& result) {
    const InstrumentState read = StateAfterWrite(before, result);
    // The read state with what was sent where nothing could be read back.
    const InstrumentState sentUnread =
        WithWords(read, result, result.sent, [](const device::BlockOutcome& b) { return b.sent && !b.readBack; });
    const std::vector<CompareRow> changed = CompareRows(before, read), unread = CompareRows(read, sentUnread),
                                  meant = CompareRows(before, sentUnread);
    std::vector<FieldChange> changes;
    for (size_t i = 0; i < changed.size(); ++i) {
        if (unread[i].differs)
            changes.push_back({meant[i].name, meant[i].device,
                               QStringLiteral("не прочитано (отправлено %1)").arg(meant[i].file), meant[i].number});
        else if (changed[i].differs)
            changes.push_back({changed[i].name, changed[i].device, changed[i].file, changed[i].number});
    }
    return changes;
}

JournalEntry JournalEntryOf(const QDateTime& when, const WriteTarget& target, const InstrumentState& before,
                            const QString& operation, const device::PageWriteResult& result) {
    JournalEntry entry;
    entry.when = when;
    entry.port = QStringLiteral("COM%1").arg(target.id.portNumber);
    entry.devicePath = target.devicePath;
    entry.address = target.id.address;
    entry.model = QString::number(before.image.words[reg::Model]);
    entry.serial = SerialText(before);
    entry.operation = operation;
    entry.outcome = JournalOutcome(before, result);
    entry.changes = WrittenChanges(before, result);
    return entry;
}

QStringList ConfirmationRows(const InstrumentState* now, const InstrumentState& meant, unsigned groups) {
    QStringList rows;
    if (!now) {
        for (const FieldValue& field : FieldsOf(meant))
            if (field.group & groups) rows << QStringLiteral("%1: ? → %2").arg(field.name, field.text);
        return rows;
    }
    for (const FieldChange& change : ChangedFields(*now, meant, groups))
        rows << QStringLiteral("%1: %2 → %3").arg(change.name, change.oldValue, change.newValue);
    if (rows.isEmpty()) rows << QStringLiteral("Значения в приборе не меняются.");
    return rows;
}

QString LinkAnswersAt(const device::LinkValues& values) {
    const bool known = values.baudCode >= 0 && values.baudCode < static_cast<int>(device::BaudRates.size());
    return QStringLiteral("по адресу %1, на скорости %2 бит/с, с паритетом «%3»")
        .arg(values.address)
        .arg(known ? QString::number(device::BaudRates[static_cast<size_t>(values.baudCode)]) : QStringLiteral("?"))
        .arg(ParityName(values.parity));
}

QStringList LinkConfirmationRows(const device::LinkValues& now, const device::LinkValues& proposed) {
    const auto stateOf = [](const device::LinkValues& values) {
        InstrumentState state;
        state.image.words[reg::AddressBaud] =
            static_cast<uint16_t>(((values.address & 0xFF) << 8) | (values.baudCode & 0xFF));
        state.image.words[reg::ByteOrder] = static_cast<uint16_t>(values.byteOrder);
        state.parity = static_cast<uint16_t>(values.parity);
        return state;
    };
    const InstrumentState before = stateOf(now);
    QStringList rows = ConfirmationRows(&before, stateOf(proposed), LinkFields);
    rows << QStringLiteral("После записи прибор будет отвечать %1.").arg(LinkAnswersAt(proposed));
    return rows;
}

device::LinkValues LinkValuesOfState(const InstrumentState& state) {
    const uint16_t addressBaud = state.image.words[reg::AddressBaud];
    return {addressBaud >> 8, addressBaud & 0xFF, state.parity, state.image.words[reg::ByteOrder]};
}

QString ModelMismatch(const QString& fileName, const InstrumentState& file, const InstrumentState& device) {
    const uint16_t fileCode = file.image.words[reg::ModelCode], deviceCode = device.image.words[reg::ModelCode];
    if (fileCode == deviceCode) return {};
    return QStringLiteral("В файле %1 конфигурация прибора с кодом модели %2, а у прибора на линии код модели %3. "
                          "Запись не производится.")
        .arg(Native(fileName))
        .arg(fileCode)
        .arg(deviceCode);
}

device::PageWriteResult WriteConfigFileInto(link::ModbusMaster& master, const ConfigFile& file,
                                            const InstrumentState& before, bool withIdentity, bool withLink,
                                            device::DeviceLinkSteps& follow, const device::WriteHooks& hooks) {
    const int total = withLink ? 10 : 7;
    device::WriteHooks configHooks = hooks;
    if (hooks.progress) configHooks.progress = [&](int done, int) { hooks.progress(done, total); };
    device::PageWriteResult result = device::WriteSensorConfiguration(
        master, file.state.image, before.image, InstrumentKeepsOnFileWrite(withIdentity), configHooks);
    if (!withLink || !result.succeeded()) return result;

    if (hooks.cancelled && hooks.cancelled()) {
        result.stop = device::WriteStop::Cancelled;
        return result;
    }
    if (hooks.pause) hooks.pause(100);
    device::WriteHooks linkHooks = hooks;
    if (hooks.progress) linkHooks.progress = [&](int done, int) { hooks.progress(7 + done, total); };
    const device::PageWriteResult link =
        device::WriteLinkSettings(master, LinkValuesOfState(file.state), follow, linkHooks);
    result.stop = link.stop;
    result.refusals = link.refusals;
    result.flags = link.flags;
    result.exceptionCode = link.exceptionCode;
    result.blocks.insert(result.blocks.end(), link.blocks.begin(), link.blocks.end());
    for (const auto& [number, word] : link.sent)
        result.sent[number] = word; // register 11 goes out again with the file's byte order
    for (const auto& [number, word] : link.readBack)
        result.readBack[number] = word; // register 11 again, as the instrument holds it now
    return result;
}

unsigned ConfigFileWriteGroups(bool withIdentity, bool withLink) {
    unsigned groups = SensorFields | TextFields;
    if (withIdentity) groups |= IdentityFields;
    if (withLink) groups |= LinkFields;
    return groups;
}

ConfigFile ConfigFileOf(const InstrumentState& state, const ConfigFileOrigin& origin) {
    ConfigFile file;
    file.state = state;
    file.port = QStringLiteral("COM%1").arg(origin.id.portNumber);
    file.devicePath = origin.devicePath;
    file.address = origin.id.address;
    file.readAt = origin.readAt;
    file.program = origin.program;
    return file;
}

QString RefusedSaveName(const QString& path) {
    if (MayHoldConfiguration(path)) return {};
    return QStringLiteral("Файл %1 не является файлом конфигурации прибора и не будет перезаписан.").arg(Native(path));
}

SaveOutcome SaveConfiguration(const QString& path, const ConfigFile& file) {
    try {
        SaveConfigFile(path, file);
    } catch (const settings::IniWriteError& error) {
        return {false, QStringLiteral("Конфигурация прибора не записана в файл %1.").arg(Native(path)),
                QString::fromUtf8(error.what())};
    }
    return {true, QStringLiteral("Конфигурация прибора записана в файл %1.").arg(Native(path)), {}};
}

} // namespace olv::records
