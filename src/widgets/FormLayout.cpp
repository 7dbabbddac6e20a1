#include "widgets/FormLayout.h"

#include "base/ByteOrder.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <cstring>

namespace {

constexpr int kCountSize = 4;
constexpr int kStateSize = 1;
constexpr int kFractionsSize = 32;
constexpr int kTracksSize = 8;
// Track sizes beyond this, in pixels or percent, come from no window.
constexpr std::int32_t kTrackLimit = 100000;
constexpr std::int32_t kCoordinateLimit = 1000000;

int recordSize(int controlCount, bool maximized) {
    return kCountSize + kStateSize + (maximized ? 0 : kFractionsSize) + kTracksSize + controlCount +
           WindowPlacement::kSize;
}

double readDouble(const unsigned char* p) {
    const std::uint64_t bits = qly::readLe64(p);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void writeDouble(unsigned char* p, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    qly::writeLe64(p, bits);
}

std::int32_t readInt(const unsigned char* p) {
    return static_cast<std::int32_t>(qly::readLe32(p));
}

void writeInt(unsigned char* p, std::int32_t value) {
    qly::writeLe32(p, static_cast<std::uint32_t>(value));
}

bool plausibleFractions(const std::array<double, 4>& f) {
    for (double value : f) {
        if (!std::isfinite(value))
            return false;
    }
    return f[0] >= -1 && f[0] <= 1 && f[1] >= -1 && f[1] <= 1 && f[2] > 0 && f[2] <= 2 &&
           f[3] > 0 && f[3] <= 2;
}

bool plausiblePlacement(const WindowPlacement& p) {
    const std::int32_t edges[] = {p.left, p.top, p.right, p.bottom};
    for (std::int32_t edge : edges) {
        if (edge < -kCoordinateLimit || edge > kCoordinateLimit)
            return false;
    }
    return p.length == WindowPlacement::kSize && p.right > p.left && p.bottom > p.top;
}

// The file to open for path: path itself, or the file a link there points
// to when that file lies in the link's own folder; empty otherwise.
QString resolvedPath(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString target = info.canonicalFilePath();  // empty for a dangling link
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (target.isEmpty() || QFileInfo(target).absolutePath() != folder)
        return QString();
    return target;
}

}  // namespace

QByteArray FormLayout::serialize() const {
    const int count = static_cast<int>(visibility.size());
    QByteArray data(recordSize(count, maximized()), '\0');
    auto* p = reinterpret_cast<unsigned char*>(data.data());
    writeInt(p, count);
    p += kCountSize;
    *p++ = state;
    if (!maximized()) {
        for (double fraction : fractions) {
            writeDouble(p, fraction);
            p += 8;
        }
    }
    writeInt(p, maximumTrackWidth);
    writeInt(p + 4, maximumTrackHeight);
    p += kTracksSize;
    std::memcpy(p, visibility.constData(), static_cast<std::size_t>(count));
    p += count;
    const std::uint32_t words[] = {placement.length, placement.flags, placement.showCmd};
    for (std::uint32_t word : words) {
        qly::writeLe32(p, word);
        p += 4;
    }
    const std::int32_t values[] = {placement.minX,  placement.minY,  placement.maxX,
                                   placement.maxY,  placement.left,  placement.top,
                                   placement.right, placement.bottom};
    for (std::int32_t value : values) {
        writeInt(p, value);
        p += 4;
    }
    return data;
}

std::optional<FormLayout> FormLayout::parse(const QByteArray& data, int controlCount) {
    if (controlCount < 0 || data.size() < kCountSize + kStateSize)
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData());
    if (readInt(p) != controlCount)
        return std::nullopt;
    FormLayout layout;
    layout.state = p[kCountSize];
    if (layout.state != kStateNormal && layout.state != kStateMaximized)
        return std::nullopt;
    if (data.size() != recordSize(controlCount, layout.maximized()))
        return std::nullopt;
    p += kCountSize + kStateSize;
    if (!layout.maximized()) {
        for (double& fraction : layout.fractions) {
            fraction = readDouble(p);
            p += 8;
        }
        if (!plausibleFractions(layout.fractions))
            return std::nullopt;
    }
    layout.maximumTrackWidth = readInt(p);
    layout.maximumTrackHeight = readInt(p + 4);
    p += kTracksSize;
    for (std::int32_t track : {layout.maximumTrackWidth, layout.maximumTrackHeight}) {
        if (track < -kTrackLimit || track > kTrackLimit)
            return std::nullopt;
    }
    layout.visibility = QByteArray(reinterpret_cast<const char*>(p), controlCount);
    for (char byte : layout.visibility) {
        if (byte != 0 && byte != 1)
            return std::nullopt;
    }
    p += controlCount;
    WindowPlacement& w = layout.placement;
    std::uint32_t* words[] = {&w.length, &w.flags, &w.showCmd};
    for (std::uint32_t* word : words) {
        *word = qly::readLe32(p);
        p += 4;
    }
    std::int32_t* values[] = {&w.minX, &w.minY, &w.maxX,  &w.maxY,
                              &w.left, &w.top,  &w.right, &w.bottom};
    for (std::int32_t* value : values) {
        *value = readInt(p);
        p += 4;
    }
    if (!plausiblePlacement(w))
        return std::nullopt;
    return layout;
}

std::optional<FormLayout> FormLayout::read(const QString& path, int controlCount) {
    const QString file = resolvedPath(path);
    if (file.isEmpty())
        return std::nullopt;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte more than the longest record shows a file that is too long.
    const QByteArray data = in.read(recordSize(controlCount, false) + 1);
    return parse(data, controlCount);
}

bool FormLayout::write(const QString& path) const {
    const QString file = resolvedPath(path);
    if (file.isEmpty())
        return false;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = serialize();
    if (out.write(data) != data.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}
