// The marks that the recording benchmark's moving screen paints and its analysis reads back: a
// bar code of the screen's clock in the top-left corner, a flash square beside it, and a beep.
#pragma once

#include <QtGlobal>

namespace screencode
{

constexpr int kBits = 32;      // bits of the clock (ms since the screen program started)
constexpr int kCell = 16;      // side of one cell in pixels
constexpr int kFlashCells = 4; // cells after the bits: black, white while flashing
constexpr int kStripWidth = (kBits + kFlashCells) * kCell;
constexpr int kStripHeight = kCell;
constexpr int kFlashMs = 100; // how long one flash lasts
constexpr int kBeepHz = 1000; // the beep that goes out with each flash
constexpr int kBeepMs = 100;
constexpr int kSampleRate = 44100;

// The clock painted in `cells` (one grey average per cell, kBits + kFlashCells values), or -1
// when the cells are not clearly black or white.
inline qint64 decodeClock(const unsigned char* cells)
{
    qint64 value = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const int v = cells[bit];
        if (v > 60 && v < 190)
            return -1;
        if (v >= 190)
            value |= qint64(1) << bit;
    }
    return value;
}

// Whether the flash square in `cells` is lit.
inline bool flashLit(const unsigned char* cells)
{
    int sum = 0;
    for (int i = 0; i < kFlashCells; ++i)
        sum += cells[kBits + i];
    return sum / kFlashCells >= 128;
}

} // namespace screencode
