#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// The memos of a FoxPro .fpt file, read straight from its blocks: the
// header gives the block size (offset 6, big-endian u16); a memo is a block
// starting with a 4-byte big-endian type (1 for text) and a 4-byte
// big-endian length, followed by its data.
inline QList<QByteArray> fptMemos(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    const auto u32 = [&data](qsizetype at) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + at);
        return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    };
    if (data.size() < 512)
        return {};
    const auto* h = reinterpret_cast<const unsigned char*>(data.constData());
    const qsizetype blockSize = (qsizetype(h[6]) << 8) | h[7];
    if (blockSize <= 0)
        return {};
    QList<QByteArray> memos;
    qsizetype at = (512 + blockSize - 1) / blockSize * blockSize;
    while (at + 8 <= data.size()) {
        const quint32 type = u32(at);
        const quint32 length = u32(at + 4);
        if (type == 1 && length > 0 && length <= quint32(data.size() - at - 8)) {
            memos.append(data.mid(at + 8, length));
            at += (8 + qsizetype(length) + blockSize - 1) / blockSize * blockSize;
        } else {
            at += blockSize;
        }
    }
    return memos;
}
