#include "recorder/LogHeader.h"

#include <QFile>
#include <QtEndian>

namespace wendmoor {

namespace {

constexpr qint64 kMaxHeaderScan = 4096;

bool writeLe32(QFile& f, qint64 offset, quint32 value)
{
    uchar bytes[4];
    qToLittleEndian(value, bytes);
    return f.seek(offset) && f.write(reinterpret_cast<const char*>(bytes), 4) == 4;
}

} // namespace

bool refreshLogHeader(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    const QByteArray head = f.read(kMaxHeaderScan);
    // Taken after the read, while the writer keeps appending.
    const qint64 length = f.size();
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE" || length < 12
        || length - 8 > 0xFFFFFFFFLL)
        return false;

    // Walk the chunks to find where the data chunk starts.
    qint64 pos = 12;
    qint64 dataHeader = -1;
    while (pos + 8 <= head.size()) {
        const QByteArray id = head.mid(static_cast<int>(pos), 4);
        const quint32 size = qFromLittleEndian<quint32>(head.constData() + pos + 4);
        if (id == "data") {
            dataHeader = pos;
            break;
        }
        pos += 8 + size + (size & 1);
    }

    bool ok = writeLe32(f, 4, static_cast<quint32>(length - 8));
    if (ok && dataHeader >= 0)
        ok = writeLe32(f, dataHeader + 4, static_cast<quint32>(length - dataHeader - 8));
    f.close();
    return ok;
}

} // namespace wendmoor
