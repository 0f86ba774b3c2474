#include "DnsMessage.h"

#include <QtEndian>

namespace DnsMessage {

namespace {

constexpr quint16 ClassIn = 1;
constexpr quint16 ResponseFlags = 0x8400; // a response, authoritative

void put16(QByteArray &out, quint16 value) {
    out.append(char(value >> 8)).append(char(value & 0xff));
}

void put32(QByteArray &out, quint32 value) {
    put16(out, quint16(value >> 16));
    put16(out, quint16(value & 0xffff));
}

void putName(QByteArray &out, const QByteArray &name) {
    for (const QByteArray &label : name.split('.')) {
        if (label.isEmpty())
            continue;
        const QByteArray part = label.left(63);
        out.append(char(part.size())).append(part);
    }
    out.append('\0');
}

void putHeader(QByteArray &out, quint16 id, quint16 flags, int questions, int answers,
               int additional) {
    put16(out, id);
    put16(out, flags);
    put16(out, quint16(questions));
    put16(out, quint16(answers));
    put16(out, 0);
    put16(out, quint16(additional));
}

// Reads the packet front to back; every read checks what is left.
class Reader {
public:
    explicit Reader(QByteArrayView packet)
        : m_packet(packet) {}

    bool has(qsizetype bytes) const { return m_at + bytes <= m_packet.size(); }
    qsizetype at() const { return m_at; }
    void skip(qsizetype bytes) { m_at += bytes; }

    // A big-endian number: quint16 or quint32.
    template <typename Number> std::optional<Number> number() {
        if (!has(sizeof(Number)))
            return std::nullopt;
        const Number value = qFromBigEndian<Number>(m_packet.data() + m_at);
        m_at += sizeof(Number);
        return value;
    }
    std::optional<quint16> u16() { return number<quint16>(); }
    std::optional<quint32> u32() { return number<quint32>(); }

    // A name at the current place; a compressed one may point back into the
    // packet, but never forwards, so no pointer chain can loop.
    std::optional<QByteArray> name() {
        QByteArray dotted;
        qsizetype at = m_at;
        qsizetype end = -1;
        int pointers = 0;
        int bytes = 0;
        for (;;) {
            if (at >= m_packet.size())
                return std::nullopt;
            const quint8 length = quint8(m_packet[at]);
            if ((length & 0xc0) == 0xc0) {
                if (at + 1 >= m_packet.size() || ++pointers > MaxPointers)
                    return std::nullopt;
                const qsizetype target = ((length & 0x3f) << 8) | quint8(m_packet[at + 1]);
                if (end < 0)
                    end = at + 2;
                if (target >= at)
                    return std::nullopt;
                at = target;
                continue;
            }
            if (length & 0xc0)
                return std::nullopt;
            if (length == 0)
                break;
            bytes += length + 1;
            if (bytes > MaxNameBytes || at + 1 + length > m_packet.size())
                return std::nullopt;
            if (!dotted.isEmpty())
                dotted.append('.');
            dotted.append(m_packet.data() + at + 1, length);
            at += 1 + length;
        }
        m_at = end >= 0 ? end : at + 1;
        return dotted.toLower();
    }

private:
    QByteArrayView m_packet;
    qsizetype m_at = 0;
};

std::optional<Record> readRecord(Reader &reader, bool &known) {
    Record record;
    const auto name = reader.name();
    const auto type = reader.u16();
    const auto klass = reader.u16();
    const auto ttl = reader.u32();
    const auto length = reader.u16();
    if (!name || !type || !klass || !ttl || !length || !reader.has(*length))
        return std::nullopt;
    record.name = *name;
    record.type = *type;
    record.ttl = *ttl;
    const qsizetype end = reader.at() + *length;
    known = true;
    switch (*type) {
    case A: {
        const auto address = reader.u32();
        if (*length != 4 || !address)
            return std::nullopt;
        record.address = *address;
        break;
    }
    case PTR: {
        const auto target = reader.name();
        if (!target || reader.at() > end)
            return std::nullopt;
        record.target = *target;
        break;
    }
    case SRV: {
        const auto priority = reader.u16();
        const auto weight = reader.u16();
        const auto port = reader.u16();
        const auto target = priority && weight && port ? reader.name() : std::nullopt;
        if (!target || reader.at() > end)
            return std::nullopt;
        record.port = *port;
        record.target = *target;
        break;
    }
    default:
        known = false;
    }
    reader.skip(end - reader.at());
    return record;
}

} // namespace

QByteArray query(quint16 id, const QList<QByteArray> &names) {
    QByteArray out;
    putHeader(out, id, 0, int(names.size()), 0, 0);
    for (const QByteArray &name : names) {
        putName(out, name);
        put16(out, PTR);
        put16(out, ClassIn);
    }
    return out;
}

QByteArray response(quint16 id, const QList<Question> &questions, const QList<Record> &records,
                    int answers) {
    QByteArray out;
    putHeader(out, id, ResponseFlags, int(questions.size()), answers,
              int(records.size()) - answers);
    for (const Question &question : questions) {
        putName(out, question.name);
        put16(out, question.type);
        put16(out, ClassIn);
    }
    for (const Record &record : records) {
        putName(out, record.name);
        put16(out, record.type);
        put16(out, ClassIn);
        put32(out, record.ttl);
        QByteArray data;
        if (record.type == A) {
            put32(data, record.address);
        } else if (record.type == SRV) {
            put16(data, 0);
            put16(data, 0);
            put16(data, record.port);
            putName(data, record.target);
        } else {
            putName(data, record.target);
        }
        put16(out, quint16(data.size()));
        out.append(data);
    }
    return out;
}

std::optional<Message> parse(QByteArrayView packet) {
    Reader reader(packet);
    const auto id = reader.u16();
    const auto flags = reader.u16();
    const auto questions = reader.u16();
    const auto answers = reader.u16();
    const auto authority = reader.u16();
    const auto additional = reader.u16();
    if (!id || !flags || !questions || !answers || !authority || !additional)
        return std::nullopt;
    Message message;
    message.id = *id;
    message.response = *flags & 0x8000;
    const int records = *answers + *authority + *additional;
    if (*questions + records > MaxRecords)
        return std::nullopt;
    for (int i = 0; i < *questions; ++i) {
        const auto name = reader.name();
        const auto type = reader.u16();
        const auto klass = reader.u16();
        if (!name || !type || !klass)
            return std::nullopt;
        message.questions.append({*name, *type});
    }
    for (int i = 0; i < records; ++i) {
        bool known = false;
        const auto record = readRecord(reader, known);
        if (!record)
            return std::nullopt;
        if (known)
            message.records.append(*record);
    }
    return message;
}

} // namespace DnsMessage
