#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The layout file of a scaled form ("qly32.ini" for the main window): the
// window's state, place and size, its two maximum track sizes and the
// visibility of each collected control, so that the next run starts where
// this one left off. Binary, little-endian:
//
//   offset  size  content
//   0       4     int32: number of collected controls (n)
//   4       1     state: 2 = maximised, 0 = normal
//   5       32    only with state 0: four doubles (IEEE 754), the form's
//                 left / screen width, top / screen height,
//                 width / screen width, height / screen height
//   next    4     int32: MaximumTrackWidth
//   next    4     int32: MaximumTrackHeight
//   next    n     one byte per control, in list order: 1 visible, 0 hidden
//   next    44    the window placement record (WindowPlacement)
//
// A file that is short, long, for another number of controls or holds values
// no window could have is refused whole: the form then starts from its
// design values.

// The window placement record, in the layout of the Windows WINDOWPLACEMENT
// structure (44 bytes): length, flags and show command (uint32 each), the
// minimised and maximised positions (two int32 each) and the normal
// rectangle (left, top, right, bottom: int32 each) in workspace coordinates,
// that is relative to the top-left corner of the screen's available area.
struct WindowPlacement {
    static constexpr int kSize = 44;
    static constexpr std::uint32_t kShowNormal = 1;
    static constexpr std::uint32_t kShowMaximized = 3;

    std::uint32_t length = kSize;
    std::uint32_t flags = 0;
    std::uint32_t showCmd = kShowNormal;
    std::int32_t minX = -1;
    std::int32_t minY = -1;
    std::int32_t maxX = -1;
    std::int32_t maxY = -1;
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    bool operator==(const WindowPlacement&) const = default;
};

struct FormLayout {
    static constexpr std::uint8_t kStateNormal = 0;
    static constexpr std::uint8_t kStateMaximized = 2;

    std::uint8_t state = kStateNormal;
    // left, top, width, height over the screen size; only with kStateNormal.
    std::array<double, 4> fractions{};
    std::int32_t maximumTrackWidth = 0;
    std::int32_t maximumTrackHeight = 0;
    QByteArray visibility;  // one byte per collected control
    WindowPlacement placement;

    bool maximized() const { return state != kStateNormal; }

    QByteArray serialize() const;
    // The record held in data, for a form of controlCount controls; nothing
    // when data is not exactly such a record.
    static std::optional<FormLayout> parse(const QByteArray& data, int controlCount);

    // Reads the file at path; nothing when it is missing, unreadable, a link
    // out of its folder, or not a record for controlCount controls.
    static std::optional<FormLayout> read(const QString& path, int controlCount);
    // Replaces the file at path through a temporary file in its folder and a
    // rename, so a crash leaves the old file or the new one, never a part.
    // A link is followed only to a file in the same folder. False when the
    // file could not be written.
    bool write(const QString& path) const;

    bool operator==(const FormLayout&) const = default;
};
