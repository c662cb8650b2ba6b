#include "frame/controls/CColourButton.h"

#include "ui/prompter.h"
#include "ui/rgb.h"

#include <QGridLayout>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QWidgetAction>

namespace {

QColor qcolour(uint32_t bgr) { return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF)); }

uint32_t bgr(int r, int g, int b) { return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16); }

} // namespace

const std::vector<uint32_t>& CColourButton::Palette()
{
    // Greys, then nine hues in four shades: ten columns, four rows.
    static const std::vector<uint32_t> colours = [] {
        std::vector<uint32_t> out;
        const int hues[9][3] = {{255, 0, 0},   {255, 128, 0}, {255, 255, 0}, {0, 192, 0},  {0, 255, 255},
                                {0, 0, 255},   {128, 0, 255}, {255, 0, 255}, {128, 64, 0}};
        const double shades[4] = {0.25, 0.5, 0.75, 1.0};
        for (int row = 0; row < 4; ++row) {
            const int grey = 255 * (3 - row) / 3;
            out.push_back(bgr(grey, grey, grey));
            for (const auto& h : hues) {
                const double s = shades[row];
                out.push_back(bgr(int(h[0] * s), int(h[1] * s), int(h[2] * s)));
            }
        }
        return out;
    }();
    return colours;
}

CColourButton::CColourButton(const QString& caption, QWidget* parent) : QToolButton(parent)
{
    setText(caption);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(this);
    auto* grid = new QWidget(menu);
    auto* layout = new QGridLayout(grid);
    layout->setSpacing(2);
    const std::vector<uint32_t>& colours = Palette();
    for (size_t i = 0; i < colours.size(); ++i) {
        auto* swatch = new QPushButton(grid);
        swatch->setFixedSize(16, 16);
        swatch->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid gray;").arg(qcolour(colours[i]).name()));
        connect(swatch, &QPushButton::clicked, this, [this, menu, i] {
            menu->close();
            ChoosePalette(int(i));
        });
        layout->addWidget(swatch, int(i) / kColumns, int(i) % kColumns);
    }
    auto* action = new QWidgetAction(menu);
    action->setDefaultWidget(grid);
    menu->addAction(action);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Other Colors..."), this, &CColourButton::ChooseOther);
    setMenu(menu);
    SetColour(0);
}

void CColourButton::SetColour(uint32_t colour)
{
    m_colour = colour;
    QPixmap swatch(16, 16);
    swatch.fill(qcolour(colour));
    setIcon(QIcon(swatch));
}

void CColourButton::ChoosePalette(int index)
{
    const std::vector<uint32_t>& colours = Palette();
    if (index >= 0 && size_t(index) < colours.size())
        choose(colours[size_t(index)]);
}

void CColourButton::ChooseOther()
{
    if (const std::optional<ui::Rgb> c = ui::prompter().pickColour(ui::Rgb{m_colour}))
        choose(c->bgr);
}

void CColourButton::choose(uint32_t colour)
{
    SetColour(colour);
    emit colourChosen(colour);
}
