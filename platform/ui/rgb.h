#pragma once
// Colour values as the terminal keeps them: 0x00BBGGRR, with 0xFF000000
// meaning "the control's default" wherever a cell or list asks for a colour.
// The value type itself is ui::Rgb of the prompter interface, so colours pass
// unchanged between pickers, settings and controls.
#include "ui/prompter.h"

#include <QColor>

#include <cstdint>

namespace ui {

inline constexpr uint32_t kDefaultColour = 0xFF000000u;

constexpr Rgb rgbOf(uint32_t bgr) { return Rgb{bgr}; }
constexpr Rgb defaultColour() { return Rgb{kDefaultColour}; }
constexpr bool isDefaultColour(Rgb c) { return c.bgr == kDefaultColour; }
constexpr bool operator==(Rgb a, Rgb b) { return a.bgr == b.bgr; }

// Any value with a high byte other than 0 that is not the default sentinel is
// no colour either; it reads as invalid (the control falls back to its own).
inline QColor toQColor(Rgb c)
{
    if ((c.bgr & 0xFF000000u) != 0)
        return {};
    return QColor(int(c.bgr & 0xFF), int((c.bgr >> 8) & 0xFF), int((c.bgr >> 16) & 0xFF));
}

inline Rgb fromQColor(const QColor& c)
{
    if (!c.isValid())
        return defaultColour();
    return Rgb{uint32_t(c.red()) | (uint32_t(c.green()) << 8) | (uint32_t(c.blue()) << 16)};
}

} // namespace ui
