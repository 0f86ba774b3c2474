#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

// The little of DNS (RFC 1035) that an mDNS one-shot query and its answers
// use: PTR questions, and PTR, SRV and A records. Names are held dotted and
// in lower case, without the final dot. Reading trusts nothing in the packet:
// a name has at most MaxNameBytes, follows at most MaxPointers compression
// pointers and only ever backwards, and at most MaxRecords records are read.
namespace DnsMessage {

enum Type : quint16 { A = 1, PTR = 12, SRV = 33 };

constexpr int MaxNameBytes = 255;
constexpr int MaxPointers = 16;
constexpr int MaxRecords = 64;

struct Question {
    QByteArray name;
    quint16 type = PTR;
};

struct Record {
    QByteArray name;
    quint16 type = 0;
    quint32 ttl = 0;
    // PTR: the name pointed to. SRV: the target host.
    QByteArray target;
    quint16 port = 0;
    // A, in host byte order.
    quint32 address = 0;
};

struct Message {
    quint16 id = 0;
    bool response = false;
    QList<Question> questions;
    // Answers, authority and additional records alike, in packet order;
    // records of other types are left out.
    QList<Record> records;
};

// A query asking for the PTR records of each name.
QByteArray query(quint16 id, const QList<QByteArray> &names);
// A response carrying the questions again (as a one-shot query's answer
// must) and then the records: the first `answers` of them as answers, the
// rest as additional records.
QByteArray response(quint16 id, const QList<Question> &questions, const QList<Record> &records,
                    int answers);
// nullopt for a packet that is not a well-formed DNS message.
std::optional<Message> parse(QByteArrayView packet);

} // namespace DnsMessage
