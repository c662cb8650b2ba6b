#include "frame/MainFrameCommands.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "frame/OrderFormOpener.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/RibbonLayout.h"

#include "ui/commands.h"

#include <map>
#include <vector>

namespace main_frame_commands_detail {
namespace {

constexpr OrderCommand kOrderCommands[] = {
    {32868, 'B', 1, -1}, {32869, 'S', 1, -1}, {32871, 'B', 2, -1}, {32872, 'S', 2, -1}, {32874, 'B', 3, -1},
    {32875, 'S', 3, -1}, {33380, 'B', 4, -1}, {33381, 'S', 4, -1}, {33363, 'B', 1, 5},  {33364, 'S', 1, 5},
};

bool currentClientActive()
{
    const int i = pv_user_info.client_index < 0 ? 0 : pv_user_info.client_index;
    return i < static_cast<int>(g_Session.clients.size()) && g_Session.clients[static_cast<size_t>(i)].active != 0;
}

} // namespace
} // namespace main_frame_commands_detail

const OrderCommand* FindOrderCommand(int id)
{
    for (const OrderCommand& c : main_frame_commands_detail::kOrderCommands)
        if (c.id == id)
            return &c;
    return nullptr;
}

bool RunOrderCommand(CMainFrame& frame, const OrderCommand& command, bool orderRight)
{
    try {
        if (!orderRight) {
            MsgBoxOk("You don't have access to place Order");
            return false;
        }
        if (!main_frame_commands_detail::currentClientActive()) {
            MsgBoxInfoCaption("Please Activate a Client", "Input Error");
            return false;
        }
        OrderFormParams p;
        p.index = -1;
        p.side = command.side;
        p.scripType = command.group;
        p.quantity = 0;
        p.orderMark = command.product;
        p.price = 0;
        OpenOrderForm(p, &frame, 1);
        return true;
    } catch (...) {
        WriteLog(0, command.side == 'B' ? "Exception in Buy Order in MainFrame" : "Exception in Sell Order in MainFrame");
        return false;
    }
}

void RegisterOrderCommands(CMainFrame& frame, std::function<bool()> orderRight)
{
    for (const OrderCommand& c : main_frame_commands_detail::kOrderCommands) {
        const OrderCommand command = c;
        frame.Commands().add(command.id, [&frame, command, orderRight] {
            RunOrderCommand(frame, command, orderRight ? orderRight() : true);
        });
    }
}

namespace main_frame_commands_detail {
namespace {

std::map<int, std::string>& lockTexts()
{
    static std::map<int, std::string> texts;
    return texts;
}

} // namespace
} // namespace main_frame_commands_detail

void SetCommandLockText(int id, std::string action)
{
    main_frame_commands_detail::lockTexts()[id] = std::move(action);
}

std::string CommandLockText(int id)
{
    if (const auto it = main_frame_commands_detail::lockTexts().find(id); it != main_frame_commands_detail::lockTexts().end() && !it->second.empty())
        return it->second;
    return FindOrderCommand(id) ? "Place Order." : "proceed.";
}

void InstallCommandLock(ui::Commands& commands)
{
    commands.setGate([](int id) {
        if (id == ID_FILE_LOCKTERMINAL || id == ID_APP_EXIT)
            return true;
        return !RefuseWhileLocked(CommandLockText(id));
    });
}

namespace main_frame_commands_detail {
namespace {

// Every command id of the ribbon and the main menu with its text, the
// ribbon's (the fuller name: "Open Watchlist") first.
std::vector<RibbonItem> ribbonCommands()
{
    std::vector<RibbonItem> items;
    for (const RibbonCategoryDef& c : RibbonCategories())
        for (const RibbonPanelDef& p : c.panels)
            items.insert(items.end(), p.items.begin(), p.items.end());
    for (const RibbonItem& item : RibbonMainMenu())
        if (item.id != 0)
            items.push_back(item);
    return items;
}

} // namespace
} // namespace main_frame_commands_detail

std::string CommandName(int id)
{
    for (const RibbonItem& item : main_frame_commands_detail::ribbonCommands()) {
        if (item.id != id)
            continue;
        std::string name = item.text;
        while (!name.empty() && name.back() == '.')
            name.pop_back();
        return name;
    }
    return "This command";
}

void TellNotAvailable(int id)
{
    const std::string text = CommandName(id) + " is not available in this version.";
    WriteLog(0, text + " [" + std::to_string(id) + "]");
    MsgBoxInfo(text);
}

void InstallNotAvailableCommands(ui::Commands& commands)
{
    for (const RibbonItem& item : main_frame_commands_detail::ribbonCommands()) {
        if (commands.has(item.id))
            continue;
        const int id = item.id;
        WriteLog(3, "Not in this version: " + CommandName(id) + " [" + std::to_string(id) + "]");
        commands.add(id, [id] { TellNotAvailable(id); });
    }
}
