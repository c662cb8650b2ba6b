#include "frame/FrameThemes.h"

#include "app/base/AppSettings.h"

#include <QColor>

namespace {

struct Palette {
    int id;
    bool dark;
    QColor window, base, text, accent;
    QColor chrome = {}; // bars of their own colour; invalid: the window's
};

// Colours are ours: the looks only need to be told apart and to read well.
const Palette kPalettes[] = {
    {32835, true, QColor(45, 45, 48), QColor(30, 30, 30), QColor(230, 230, 230), QColor(0, 122, 204)},
    {32838, false, QColor(214, 226, 240), QColor(255, 255, 255), QColor(0, 0, 0), QColor(84, 141, 212)},
    // Black: black bars around light windows, as its name says.
    {32839, false, QColor(200, 200, 200), QColor(255, 255, 255), QColor(0, 0, 0), QColor(80, 80, 80), QColor(28, 28, 28)},
    {32840, false, QColor(225, 228, 232), QColor(255, 255, 255), QColor(0, 0, 0), QColor(150, 160, 175)},
    {32841, false, QColor(205, 230, 240), QColor(255, 255, 255), QColor(0, 0, 0), QColor(60, 160, 200)},
    {32849, true, QColor(60, 60, 60), QColor(40, 40, 40), QColor(235, 235, 235), QColor(110, 110, 110)},
    {32844, false, QColor(208, 214, 222), QColor(255, 255, 255), QColor(0, 0, 0), QColor(96, 112, 135)},
    {33311, true, QColor(37, 37, 38), QColor(20, 20, 20), QColor(220, 220, 220), QColor(104, 33, 122)},
    {33310, false, QColor(245, 245, 245), QColor(255, 255, 255), QColor(0, 0, 0), QColor(190, 190, 190)},
    {33312, false, QColor(205, 215, 230), QColor(255, 255, 255), QColor(0, 0, 0), QColor(93, 138, 168)},
    {33337, false, QColor(226, 240, 230), QColor(255, 255, 255), QColor(0, 0, 0), QColor(90, 160, 120)},
    {33339, false, QColor(240, 228, 210), QColor(255, 255, 255), QColor(0, 0, 0), QColor(190, 120, 60)},
    {33350, true, QColor(50, 50, 52), QColor(34, 34, 36), QColor(225, 225, 225), QColor(85, 85, 90)},
    {33340, false, QColor(210, 228, 245), QColor(255, 255, 255), QColor(0, 0, 0), QColor(0, 105, 170)},
    {33341, false, QColor(235, 220, 212), QColor(255, 255, 255), QColor(0, 0, 0), QColor(130, 60, 40)},
    {33342, false, QColor(220, 238, 215), QColor(255, 255, 255), QColor(0, 0, 0), QColor(40, 140, 60)},
    {33343, false, QColor(235, 245, 210), QColor(255, 255, 255), QColor(0, 0, 0), QColor(140, 180, 30)},
    {33344, false, QColor(245, 220, 225), QColor(255, 255, 255), QColor(0, 0, 0), QColor(160, 20, 60)},
    {33345, false, QColor(250, 232, 210), QColor(255, 255, 255), QColor(0, 0, 0), QColor(240, 130, 20)},
    {33346, false, QColor(248, 225, 235), QColor(255, 255, 255), QColor(0, 0, 0), QColor(210, 110, 150)},
    {33347, false, QColor(238, 225, 240), QColor(255, 255, 255), QColor(0, 0, 0), QColor(150, 80, 160)},
    {33348, false, QColor(250, 220, 220), QColor(255, 255, 255), QColor(0, 0, 0), QColor(200, 30, 40)},
    {33349, false, QColor(225, 242, 220), QColor(255, 255, 255), QColor(0, 0, 0), QColor(70, 150, 70)},
};

const Palette* paletteOf(int id)
{
    for (const Palette& p : kPalettes)
        if (p.id == id)
            return &p;
    return nullptr;
}

} // namespace

const std::vector<ThemeEntry>& RibbonThemes()
{
    static const std::vector<ThemeEntry> themes = {
        {32835, "Default Theme"},  {32838, "Blue"},          {32839, "Black"},          {32840, "Silver"},
        {32841, "Aqua"},           {32849, "Carbon"},        {32844, "Bluish Grey"},    {33311, "Moonlight Black"},
        {33310, "White Smoke"},    {33312, "Air Force Blue"}, {33337, "Morning Dew"},   {33339, "Autumn Shower"},
        {33350, "Smoky Black"},    {33340, "Ocean Blue"},    {33341, "Redwood Brown"},  {33342, "Green Glory"},
        {33343, "Lavish Lime"},    {33344, "Ruby"},          {33345, "Deep Saffron"},   {33346, "Livid Pink"},
        {33347, "Fresh Orchid"},   {33348, "Candy Red"},     {33349, "Garden Fresh"},
    };
    return themes;
}

bool IsThemeCommand(int id)
{
    return (id >= 32833 && id <= 32849) || (id >= 33310 && id <= 33312) || (id >= 33337 && id <= 33350);
}

ThemeChoice ThemeChoiceFor(int id)
{
    ThemeChoice c;
    if (!IsThemeCommand(id))
        return c;
    c.known = true;
    if (id >= 32838 && id <= 32841) {
        c.family = ThemeFamily::Glass;
        c.variant = 5 + (id - 32838);
    } else if (id == 32849) {
        c.family = ThemeFamily::Glass;
        c.variant = 9;
    } else if (id == 32844) {
        c.family = ThemeFamily::Slate;
        c.variant = 11;
    } else if (id == 33310) {
        c.family = ThemeFamily::Flat;
        c.variant = 16;
    } else if (id == 33311) {
        c.family = ThemeFamily::Flat;
        c.variant = 23;
    } else if (id == 33312) {
        c.family = ThemeFamily::Flat;
        c.variant = 18;
    } else if (id == 32835 || (id >= 33337 && id <= 33350)) {
        // The newer looks 25-28 with colour variants, with a recoloured
        // ribbon background image.
        c.family = ThemeFamily::Modern;
        if (id == 32835) {
            c.variant = 25;
            c.background = 33352;
        } else {
            c.variant = 25 + (id - 33337) % 4;
            c.background = (id - 33337) % 2 == 0 ? 33351 : 33352;
        }
    } else {
        // Ids of the range that are not on the ribbon: the older looks.
        c.family = ThemeFamily::Older;
        c.variant = id - 32833;
    }
    return c;
}

ui::ThemeLook ThemeLookFor(int themeId)
{
    const Palette* p = paletteOf(themeId);
    if (!p)
        p = paletteOf(kDefaultTheme);
    ui::ThemeLook look;
    look.dark = p->dark;
    look.window = p->window;
    look.base = p->base;
    look.text = p->text;
    look.button = p->window.lighter(p->dark ? 130 : 105);
    look.highlight = p->accent;
    look.accent = p->accent;
    look.chrome = p->chrome;
    for (const ThemeEntry& t : RibbonThemes())
        if (t.id == p->id)
            look.name = t.text;
    return look;
}

bool IsDarkThemeId(int themeId)
{
    return themeId == 32835 || themeId == 32849 || themeId == 33311 || themeId == 33350;
}

bool IsDarkTheme()
{
    return IsDarkThemeId(g_AppSettings.theme);
}
