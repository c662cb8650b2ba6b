#include "frame/RibbonOptions.h"

#include "frame/FrameIds.h"

#include "ui/command_bar.h"
#include "ui/form.h"
#include "ui/modal_host.h"

#include <QAction>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace {

// A 16 x 16 image with the command's initials, in the style of the ribbon's
// own buttons, for a command the row shows without an image of its own.
QIcon initialsImage(const QString& text)
{
    QString initials;
    for (const QString& word : QString(text).remove('&').split(' ', Qt::SkipEmptyParts))
        if (initials.size() < 2 && word[0].isLetterOrNumber())
            initials += word[0].toUpper();
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 100, 115));
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(initials.size() > 1 ? 7 : 10);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, initials);
    return QIcon(pm);
}

ui::FormSpec optionsSpec()
{
    using K = ui::ControlKind;
    ui::FormSpec spec;
    spec.name = "CRibbonOptions";
    spec.caption = "Options";
    spec.width = 330;
    spec.height = 200;
    spec.controls = {
        {1000, K::Label, "Choose commands from:", {7, 7, 140, 9}},
        {IDC_QAT_CATEGORY, K::Combo, "", {7, 18, 140, 80}},
        {IDC_QAT_COMMANDS, K::List, "", {7, 34, 140, 136}},
        {IDC_QAT_ADD, K::Button, "Add >>", {154, 70, 50, 14}},
        {IDC_QAT_REMOVE, K::Button, "<< Remove", {154, 90, 50, 14}},
        {1006, K::Label, "Quick Access Toolbar:", {211, 7, 112, 9}},
        {IDC_QAT_CHOSEN, K::List, "", {211, 18, 112, 152}},
        {1, K::DefaultButton, "OK", {219, 178, 50, 14}},
        {2, K::Button, "Cancel", {273, 178, 50, 14}},
    };
    return spec;
}

std::string plainText(const ui::CommandBar& bar, int id)
{
    QString t = bar.textOf(id);
    t.remove('&');
    return t.toStdString();
}

} // namespace

const std::vector<std::string>& QuickAccessCategoryNames()
{
    static const std::vector<std::string> names = {"Popular Commands", "Commands not in the Ribbon", "All Commands"};
    return names;
}

std::vector<int> QuickAccessCategory(const ui::CommandBar& bar, int category)
{
    std::vector<int> out;
    const std::vector<int> onPanels = bar.panelCommandIds();
    switch (category) {
    case 0:
        for (int id : {ID_FILE_NEW, ID_FILE_OPEN, 32877, 32878, 32879, 33314})
            if (bar.action(id))
                out.push_back(id);
        break;
    case 1:
        for (int id : bar.mainMenuCommands())
            if (std::find(onPanels.begin(), onPanels.end(), id) == onPanels.end())
                out.push_back(id);
        break;
    default:
        out = onPanels;
        for (int id : bar.mainMenuCommands())
            if (std::find(out.begin(), out.end(), id) == out.end())
                out.push_back(id);
        break;
    }
    return out;
}

int ShowRibbonOptions(ui::CommandBar& bar)
{
    ui::Form form(optionsSpec(), bar.window());
    std::vector<int> shown;
    std::vector<int> chosen = bar.quickAccessCommands();

    auto fillChosen = [&] {
        std::vector<std::string> items;
        for (int id : chosen)
            items.push_back(plainText(bar, id));
        form.setComboItems(IDC_QAT_CHOSEN, items);
    };
    auto fillCommands = [&] {
        shown = QuickAccessCategory(bar, std::max(0, form.comboIndex(IDC_QAT_CATEGORY)));
        std::vector<std::string> items;
        for (int id : shown)
            items.push_back(plainText(bar, id));
        form.setComboItems(IDC_QAT_COMMANDS, items);
    };
    form.setComboItems(IDC_QAT_CATEGORY, QuickAccessCategoryNames());
    form.setComboIndex(IDC_QAT_CATEGORY, 0);
    fillCommands();
    fillChosen();
    form.onChanged(IDC_QAT_CATEGORY, fillCommands);
    form.onClick(IDC_QAT_ADD, [&] {
        const int i = form.comboIndex(IDC_QAT_COMMANDS);
        if (i < 0 || i >= int(shown.size()))
            return;
        if (std::find(chosen.begin(), chosen.end(), shown[size_t(i)]) == chosen.end())
            chosen.push_back(shown[size_t(i)]);
        fillChosen();
    });
    form.onClick(IDC_QAT_REMOVE, [&] {
        const int i = form.comboIndex(IDC_QAT_CHOSEN);
        if (i < 0 || i >= int(chosen.size()))
            return;
        chosen.erase(chosen.begin() + i);
        fillChosen();
    });
    const int outcome = ui::modalHost().run(form);
    if (outcome == 1)
        SetQuickAccessCommands(bar, chosen);
    return outcome;
}

void SetQuickAccessCommands(ui::CommandBar& bar, const std::vector<int>& ids)
{
    for (int id : ids)
        if (QAction* a = bar.action(id); a && a->icon().isNull())
            a->setIcon(initialsImage(a->text()));
    bar.setQuickAccess(ids);
}
