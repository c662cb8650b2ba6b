#pragma once
// What the files of the risk report window share: the colours of its
// grids and the look-ups of the securities and segments its rows show. UI
// thread.
#include "app/base/AppSettings.h"
#include "app/base/ExchangeNames.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "positions/RiskReplies.h"
#include "server/SecurityTable.h"
#include "ui/grid_model.h"

#include <QString>

#include <cstdint>
#include <string>

namespace netposition_detail {

inline constexpr uint32_t kBand = 0xA2E7FF; // RGB(255, 231, 162)
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kWhite = 0xFFFFFF;

inline QString qs(const std::string& s)
{
    return QString::fromStdString(s);
}

inline RiskSecurityFacts factsOf(int index)
{
    return TableRiskSecurities().facts(index);
}

inline std::string displayKey(int index)
{
    const auto table = SecurityTable::current();
    if (!table || !table->valid(index))
        return {};
    return std::string(table->row(index).displayKey().view());
}

inline const char* exchangeName(const std::string& code)
{
    return ExchangeDisplayName(code, {"NN", "BN", "CN", "CB", "MC"});
}

inline std::string segmentName(int markingIndex)
{
    if (markingIndex < 0 || markingIndex >= static_cast<int>(pv_user_info.segments.size()))
        return {};
    return std::string(FixedTextView(pv_user_info.segments[static_cast<size_t>(markingIndex)].name));
}

inline std::string segmentNameOfId(int id)
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == id)
            return std::string(FixedTextView(pv_user_info.segments[static_cast<size_t>(i)].name));
    return {};
}

inline ui::Rgb rgb(uint32_t bgr)
{
    return ui::rgbOf(bgr);
}

// Up colours for > 0, down colours for < 0, white on black otherwise (unless keep).
inline void signColours(ui::GridModel& m, int row, int column, double v, bool keepAtZero = false)
{
    if (v > 0) {
        m.setBackColour(row, column, rgb(g_AppSettings.up_back_colour));
        m.setTextColour(row, column, rgb(g_AppSettings.up_text_colour));
    } else if (v < 0) {
        m.setBackColour(row, column, rgb(g_AppSettings.down_back_colour));
        m.setTextColour(row, column, rgb(g_AppSettings.down_text_colour));
    } else if (!keepAtZero) {
        m.setBackColour(row, column, rgb(kWhite));
        m.setTextColour(row, column, rgb(kBlack));
    }
}

inline bool dealerAtOwnSlot()
{
    return pv_user_info.client_index == 0 && (pv_user_info.user_type == 'D' || pv_user_info.user_type == 'A');
}

} // namespace netposition_detail
