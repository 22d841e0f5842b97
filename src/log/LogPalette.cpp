#include "log/LogPalette.h"

namespace corvane {

namespace {

// The classic sixteen-colour set: dark colours first, their bright forms from 8 on.
constexpr LogColour kPalette[kLogPaletteSize] = {
    {0, 0, 0},     {255, 255, 255}, {128, 0, 0},     {0, 128, 0},     {128, 128, 0}, {0, 0, 128},
    {128, 0, 128}, {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
    {255, 255, 0}, {0, 0, 255},     {255, 0, 255},   {0, 255, 255},
};

}  // namespace

LogColour LogPaletteColour(int index) {
    if (index < 0 || index >= kLogPaletteSize) {
        index = kLogBlack;
    }
    return kPalette[index];
}

}  // namespace corvane
