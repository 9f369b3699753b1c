#include "device/page_writes.h"

#include "device/encodings.h"

#include <QStringList>

#include <algorithm>

namespace olv::device {

namespace {

QString BlockName(const Block& block) {
    return block.count == 1 ? QString::number(block.start)
                            : QStringLiteral("%1–%2").arg(block.start).arg(block.start + block.count - 1);
}

// Whether every field of the refusal is made of bits the instrument supplies itself.
bool WhollyOwned(const Refusal& refusal, const WordMasks& owned) {
    return std::all_of(refusal.fields.begin(), refusal.fields.end(), [&owned](CheckedField field) {
        for (const FieldBits& bits : BitsOf(field)) {
            if (bits.reg < 0 || bits.reg >= reg::ImageSize) return false;
            if ((owned[static_cast<size_t>(bits.reg)] & bits.mask) != bits.mask) return false;
        }
        return true;
    });
}

PageWriteResult Refused(std::vector<Refusal> refusals, const std::vector<BlockWrite>& writes) {
    PageWriteResult result;
    result.stop = WriteStop::Refused;
    result.refusals = std::move(refusals);
    for (const BlockWrite& write : writes) {
        result.blocks.push_back({write.block});
        for (int i = 0; i < write.block.count; ++i)
            result.sent[write.block.start + i] = write.words[static_cast<size_t>(i)];
    }
    return result;
}

} // namespace

bool PageWriteResult::anyHeld() const {
    return std::any_of(blocks.begin(), blocks.end(), [](const BlockOutcome& b) { return b.state == BlockState::Held; });
}

bool PageWriteResult::allHeld() const {
    return !blocks.empty() &&
           std::all_of(blocks.begin(), blocks.end(), [](const BlockOutcome& b) { return b.state == BlockState::Held; });
}

std::vector<int> PageWriteResult::mismatched() const {
    std::vector<int> registers;
    for (const auto& [number, word] : readBack) {
        const auto it = sent.find(number);
        if (it != sent.end() && it->second != word) registers.push_back(number);
    }
    return registers;
}

QString BlocksIn(const PageWriteResult& result, BlockState state) {
    QStringList names;
    for (const BlockOutcome& block : result.blocks)
        if (block.state == state) names << BlockName(block.block);
    return names.join(QStringLiteral(", "));
}

QString BlocksText(const PageWriteResult& result) {
    if (result.succeeded() || result.stop == WriteStop::Refused) return {};
    const QString held = BlocksIn(result, BlockState::Held), notHeld = BlocksIn(result, BlockState::NotHeld),
                  unknown = BlocksIn(result, BlockState::Unknown);
    QStringList sentences;
    if (!held.isEmpty())
        sentences << QStringLiteral("Прибор хранит записанные регистры %1.").arg(held);
    if (!notHeld.isEmpty())
        sentences << (held.isEmpty() && unknown.isEmpty() ? QStringLiteral("В прибор ничего не записано.")
                                                          : QStringLiteral("Не записаны: %1.").arg(notHeld));
    if (!unknown.isEmpty()) sentences << QStringLiteral("Неизвестно, записаны ли: %1.").arg(unknown);
    return sentences.join(u' ');
}

QString StopText(const PageWriteResult& result) {
    switch (result.stop) {
    case WriteStop::Refused:
        return result.refusals.empty() ? QString() : RefusalSentence(result.refusals.front());
    case WriteStop::Cancelled:
        return QStringLiteral("Запись прервана.");
    case WriteStop::ReadBack:
        return QStringLiteral("Записанное не прочитано для проверки.");
    case WriteStop::Mismatch: {
        QStringList registers;
        for (int number : result.mismatched())
            registers << QString::number(number);
        return QStringLiteral("Прибор возвращает иные значения регистров: %1.")
            .arg(registers.join(QStringLiteral(", ")));
    }
    case WriteStop::None:
    case WriteStop::Exchange:
        break;
    }
    return {};
}

void TakeHeldWords(RegisterImage& image, const PageWriteResult& result) {
    const auto take = [&image](int number, uint16_t word) {
        if (number >= 0 && number < reg::ImageSize)
            image.words[static_cast<size_t>(number)] = word;
        else if (number == reg::ModuleModel)
            image.moduleModel = word;
        else if (number == reg::ModuleHardware)
            image.moduleHardware = word;
        else if (number == reg::ModuleSoftware)
            image.moduleSoftware = word;
    };
    for (const BlockOutcome& outcome : result.blocks) {
        if (!outcome.readBack && !outcome.acknowledged) continue;
        const std::map<int, uint16_t>& words = outcome.readBack ? result.readBack : result.sent;
        for (int r = outcome.block.start; r < outcome.block.start + outcome.block.count; ++r)
            if (const auto it = words.find(r); it != words.end()) take(r, it->second);
    }
}

PageWriteResult WriteBlocks(link::ModbusMaster& master, const std::vector<BlockWrite>& writes,
                            const WriteHooks& hooks, const std::function<void(size_t index)>& afterBlock) {
    PageWriteResult result;
    for (const BlockWrite& write : writes) {
        result.blocks.push_back({write.block});
        for (int i = 0; i < write.block.count; ++i)
            result.sent[write.block.start + i] = write.words.at(static_cast<size_t>(i));
    }
    const int total = static_cast<int>(writes.size());

    size_t attempted = 0;
    for (size_t i = 0; i < writes.size(); ++i) {
        if (i > 0 && hooks.cancelled && hooks.cancelled()) {
            result.stop = WriteStop::Cancelled;
            break;
        }
        const BlockWrite& write = writes[i];
        BlockOutcome& outcome = result.blocks[i];
        outcome.sent = true;
        attempted = i + 1;
        uint8_t code = 0;
        const link::ResultFlags flags =
            master.writeMultipleRegisters(write.block.start, write.block.count, write.words.data(), code);
        if (!link::Succeeded(flags, code)) {
            result.stop = WriteStop::Exchange;
            result.flags = flags;
            result.exceptionCode = code;
            break;
        }
        outcome.acknowledged = true;
        if (hooks.progress) hooks.progress(static_cast<int>(i) + 1, total);
        if (i + 1 < writes.size() && hooks.pause) hooks.pause(100);
        if (afterBlock) afterBlock(i);
    }

    // What the instrument holds now, block by block; the first read that fails ends the read-back.
    for (size_t i = 0; i < attempted; ++i) {
        const BlockWrite& write = writes[i];
        BlockOutcome& outcome = result.blocks[i];
        std::vector<uint16_t> words(static_cast<size_t>(write.block.count));
        uint8_t code = 0;
        const link::ResultFlags flags =
            master.readHoldingRegisters(write.block.start, write.block.count, words.data(), code);
        if (!link::Succeeded(flags, code)) {
            if (result.stop == WriteStop::None) {
                result.stop = WriteStop::ReadBack;
                result.flags = flags;
                result.exceptionCode = code;
            }
            break;
        }
        outcome.readBack = true;
        for (int k = 0; k < write.block.count; ++k)
            result.readBack[write.block.start + k] = words[static_cast<size_t>(k)];
        const bool same = words == write.words;
        outcome.state = same ? BlockState::Held : BlockState::NotHeld;
        if (!same && outcome.acknowledged && result.stop == WriteStop::None) result.stop = WriteStop::Mismatch;
    }
    for (BlockOutcome& outcome : result.blocks)
        if (outcome.sent && !outcome.readBack)
            outcome.state = outcome.acknowledged ? BlockState::Held : BlockState::Unknown;
    return result;
}

PageWriteResult WriteSensorConfiguration(link::ModbusMaster& master, const RegisterImage& image,
                                         const RegisterImage& own, const WordMasks& owned,
                                         const WriteHooks& hooks) {
    RegisterImage toSend = image;
    TakeOwnedBits(toSend, own, owned);
    std::vector<BlockWrite> writes;
    for (const Block& block : ConfigWriteBlocks)
        writes.push_back({block, std::vector<uint16_t>(toSend.words.begin() + block.start,
                                                       toSend.words.begin() + block.start + block.count)});
    std::vector<Refusal> refusals;
    for (Refusal& refusal : ConfigurationRefusals(toSend.words))
        if (!WhollyOwned(refusal, owned)) refusals.push_back(std::move(refusal));
    if (!refusals.empty()) return Refused(std::move(refusals), writes);
    return WriteBlocks(master, writes, hooks);
}

PageWriteResult WriteLinkSettings(link::ModbusMaster& master, const LinkValues& values, DeviceLinkSteps& follow,
                                  const WriteHooks& hooks) {
    const std::vector<BlockWrite> writes{
        {ByteOrderBlock, {static_cast<uint16_t>(values.byteOrder)}},
        {AddressBaudBlock, {static_cast<uint16_t>(((values.address & 0xFF) << 8) | (values.baudCode & 0xFF))}},
        {ParityBlock, {static_cast<uint16_t>(values.parity)}},
    };
    std::vector<Refusal> refusals = LinkRefusals(values);
    if (!refusals.empty()) return Refused(std::move(refusals), writes);

    // The instrument answers this write at the old setting and switches after it: the pause comes
    // before the caller's link follows, after the last write too.
    WriteHooks between = hooks;
    between.pause = {};
    return WriteBlocks(master, writes, between, [&](size_t index) {
        if (hooks.pause) hooks.pause(100);
        switch (index) {
        case 0:
            follow.byteOrderWritten();
            break;
        case 1:
            follow.addressBaudWritten();
            break;
        default:
            follow.parityWritten();
            break;
        }
    });
}

PageWriteResult WriteTextAndVersions(link::ModbusMaster& master, const RegisterImage& image,
                                     const WriteHooks& hooks) {
    const std::vector<BlockWrite> writes{
        {VersionModelBlock, {image.moduleModel}},
        {VersionPairBlock, {image.moduleHardware, image.moduleSoftware}},
        {TextBlock, std::vector<uint16_t>(image.words.begin() + TextBlock.start,
                                          image.words.begin() + TextBlock.start + TextBlock.count)},
    };
    return WriteBlocks(master, writes, hooks);
}

} // namespace olv::device
