#include "frame/CColorSetting.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/LogWriter.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/controls/CColourButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The number at the front of a text ("12abc" -> 12, "abc" -> 0), as the
// dialog has always read its edits; nullopt when it does not fit.
std::optional<long> leadingInteger(const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno == ERANGE)
        return std::nullopt;
    return end == text.c_str() ? 0L : v;
}

std::optional<double> leadingNumber(const std::string& text)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str())
        return 0.0;
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

QString percentText(double stored) { return QString::asprintf("%0.2lf", stored / 100.0); }

template <class W> W* named(W* w, int id)
{
    w->setObjectName(QString::number(id));
    return w;
}

} // namespace

SettingsCheck CheckSettings(const SettingsTexts& t)
{
    SettingsCheck out;
    const auto failAt = [&](int field, const char* message) {
        out.field = field;
        out.message = message;
        return out;
    };
    // The lock text was read with an unchecked conversion; out of range is
    // refused like 0 or 31.
    const std::string lockText = t.lock.substr(0, 11);
    const std::optional<long> lock = leadingInteger(lockText);
    if (!lock || *lock < 1 || *lock > 30)
        return failAt(1301, "Terminal Lock Time can't be Zero or greater than 30");
    const std::optional<double> gain = leadingNumber(t.gain);
    if (!gain || *gain < 0)
        return failAt(1107, "Pls Enter valid Percentage");
    const std::optional<double> loss = leadingNumber(t.loss);
    if (!loss || *loss > 0)
        return failAt(1109, "Pls Enter valid Percentage");
    const std::optional<double> stop = leadingNumber(t.stopLoss);
    if (!stop || *stop < 0)
        return failAt(1530, "Pls Enter valid Maxivane Percentage");
    const std::optional<long> qty = leadingInteger(t.quantity.substr(0, 9));
    if (!qty || *qty < 0 || *qty > INT_MAX)
        return failAt(1192, "Pls Enter valid Order Quantity Limit.");
    // The order value had no check at all: a negative, NaN or infinite
    // limit would disable the order-value guard.
    const std::optional<double> value = leadingNumber(t.value);
    if (!value || *value < 0)
        return failAt(1197, "Pls Enter valid Order Value Limit.");
    out.ok = true;
    out.values = {int(*lock), *gain, *loss, *stop, int(*qty), *value};
    return out;
}

CColorSetting::CColorSetting(Hooks hooks, QWidget* parent) : QDialog(parent), m_hooks(std::move(hooks))
{
    setWindowTitle(QStringLiteral("Vortanex Settings"));
    const auto* record = reinterpret_cast<const unsigned char*>(&g_AppSettings);
    m_savedRecord.assign(record, record + sizeof g_AppSettings);
    for (int i = 0; i < pv_user_info.segment_count && size_t(i) < pv_user_info.segments.size(); ++i)
        m_savedSegments.emplace_back(pv_user_info.segments[size_t(i)].text_colour, pv_user_info.segments[size_t(i)].row_colour);
    SetAccessTime();

    auto* grid = new QGridLayout(this);
    int row = 0;
    m_tickState = named(new QComboBox(this), 1086);
    m_tickState->addItems({QStringLiteral("No Change"), QStringLiteral("Upper Side"), QStringLiteral("Lower Side")});
    m_text = named(new QRadioButton(QStringLiteral("Text"), this), 1090);
    m_back = named(new QRadioButton(QStringLiteral("BackGround"), this), 1091);
    m_grid = named(new QRadioButton(QStringLiteral("Gridlines"), this), 1326);
    m_tickColour = named(new CColourButton(QStringLiteral("Change Color"), this), 1088);
    grid->addWidget(new QLabel(QStringLiteral("Feed colours :"), this), row, 0);
    grid->addWidget(m_tickState, row, 1);
    grid->addWidget(m_text, row, 2);
    grid->addWidget(m_back, row, 3);
    grid->addWidget(m_grid, row, 4);
    grid->addWidget(m_tickColour, row++, 5);
    m_segment = named(new QComboBox(this), 1087);
    for (int i = 0; i < pv_user_info.segment_count && size_t(i) < pv_user_info.segments.size(); ++i)
        m_segment->addItem(QString::fromLatin1(pv_user_info.segments[size_t(i)].name,
                                               int(strnlen(pv_user_info.segments[size_t(i)].name, sizeof pv_user_info.segments[size_t(i)].name))));
    m_segmentColour = named(new CColourButton(QStringLiteral("Change Color"), this), 1089);
    auto* orderType = named(new QPushButton(QStringLiteral("Default Order Type"), this), 1149);
    grid->addWidget(new QLabel(QStringLiteral("Segment :"), this), row, 0);
    grid->addWidget(m_segment, row, 1);
    grid->addWidget(m_segmentColour, row, 2);
    grid->addWidget(orderType, row++, 3);
    auto* themeItems = named(new QComboBox(this), 1317);
    themeItems->addItems({QStringLiteral("Window Color"), QStringLiteral("HighLight Color"), QStringLiteral("Face Color")});
    auto* themeColour = named(new CColourButton(QStringLiteral("Theme Color"), this), 1324);
    themeColour->SetColour(g_AppSettings.theme_colour);
    grid->addWidget(themeItems, row, 1);
    grid->addWidget(themeColour, row++, 2);
    m_feeds = named(new QComboBox(this), 1242);
    m_feeds->addItems({QStringLiteral("Local Feeds"), QStringLiteral("Server Feeds")});
    auto* update = named(new QPushButton(QStringLiteral("Update"), this), 1250);
    auto* autoFeeds = named(new QCheckBox(QStringLiteral("Auto Feeds Connect"), this), 1154);
    grid->addWidget(new QLabel(QStringLiteral("Feeds :"), this), row, 0);
    grid->addWidget(m_feeds, row, 1);
    grid->addWidget(update, row, 2);
    grid->addWidget(autoFeeds, row++, 3);
    auto* confirm = named(new QCheckBox(QStringLiteral("Order Confirmation"), this), 1150);
    auto* success = named(new QCheckBox(QStringLiteral("Order Success"), this), 1152);
    grid->addWidget(confirm, row, 1);
    grid->addWidget(success, row++, 2);
    const auto edit = [&](int id, const QString& label, int column) {
        auto* e = named(new QLineEdit(this), id);
        grid->addWidget(new QLabel(label, this), row, column);
        grid->addWidget(e, row, column + 1);
        return e;
    };
    edit(1192, QStringLiteral("Order Quantity :"), 0)->setMaxLength(9);
    edit(1197, QStringLiteral("Order Value :"), 2);
    // The limit is said where it is typed, not only by Save's refusal.
    const QString lockLimit = QStringLiteral("1 to 30 minutes without activity before the terminal locks");
    edit(1301, QStringLiteral("Terminal Lock Time (min) :"), 4)->setToolTip(lockLimit);
    if (QLayoutItem* label = grid->itemAtPosition(row, 4); label && label->widget())
        label->widget()->setToolTip(lockLimit);
    ++row;
    edit(1107, QStringLiteral("Net Chg % >= "), 0);
    auto* gainColour = named(new CColourButton(QStringLiteral(">= Color"), this), 1111);
    grid->addWidget(gainColour, row, 2);
    edit(1109, QStringLiteral("Net Chg %  <="), 3);
    auto* lossColour = named(new CColourButton(QStringLiteral("<= Color"), this), 1113);
    grid->addWidget(lossColour, row++, 5);
    edit(1530, QStringLiteral("Maxivane SLO.(%) :"), 0);
    auto* mdi = named(new QComboBox(this), 1227);
    mdi->addItems({QStringLiteral("Default"), QStringLiteral("Smart")});
    grid->addWidget(new QLabel(QStringLiteral("MDI Group :"), this), row, 2);
    grid->addWidget(mdi, row++, 3);
    int column = 0;
    for (const auto& [id, caption] : std::vector<std::pair<int, const char*>>{{1229, "Scrip Alert(s)"},
                                                                               {1328, "Show Gridlines"},
                                                                               {1363, "Ask before creating dump file"},
                                                                               {1339, "Show Research Call Popup"},
                                                                               {1340, "Sound"}})
        grid->addWidget(named(new QCheckBox(QString::fromLatin1(caption), this), id), row, column++);
    ++row;
    m_gridlines = Control<QCheckBox>(1328);
    auto* defaults = named(new QPushButton(QStringLiteral("Set Default Settings"), this), 1222);
    auto* save = named(new QPushButton(QStringLiteral("Save"), this), 1);
    auto* cancel = named(new QPushButton(QStringLiteral("Cancel"), this), 2);
    grid->addWidget(defaults, row, 0);
    grid->addWidget(save, row, 4);
    grid->addWidget(cancel, row, 5);
    save->setDefault(true);

    // Immediate changes.
    connect(m_text, &QRadioButton::clicked, this, [this] { showColours(); });
    connect(m_back, &QRadioButton::clicked, this, [this] { showColours(); });
    connect(m_grid, &QRadioButton::clicked, this, [this] { showColours(); });
    connect(m_tickState, &QComboBox::currentIndexChanged, this, [this] { showColours(); });
    connect(m_segment, &QComboBox::currentIndexChanged, this, [this] { showColours(); });
    connect(m_tickColour, &CColourButton::colourChosen, this, &CColorSetting::storeTickColour);
    connect(m_segmentColour, &CColourButton::colourChosen, this, &CColorSetting::storeSegmentColour);
    connect(m_gridlines, &QCheckBox::clicked, this, &CColorSetting::onGridlinesSwitch);
    connect(confirm, &QCheckBox::clicked, this, [](bool on) { g_AppSettings.switches[0] = on ? '1' : '0'; });
    connect(autoFeeds, &QCheckBox::clicked, this, [](bool on) { g_AppSettings.auto_feeds = on ? 1 : 0; });
    connect(orderType, &QPushButton::clicked, this, [this] {
        const int i = m_segment->currentIndex();
        if (i >= 0 && size_t(i) < pv_user_info.segments.size())
            g_AppSettings.default_order_type = pv_user_info.segments[size_t(i)].id;
    });
    connect(update, &QPushButton::clicked, this, &CColorSetting::OnFeedUpdate);
    connect(defaults, &QPushButton::clicked, this, &CColorSetting::OnDefaults);
    connect(save, &QPushButton::clicked, this, &CColorSetting::OnSave);
    connect(cancel, &QPushButton::clicked, this, &CColorSetting::OnCancel);
    m_timers.onTick = [this](int id) {
        if (id != kReconnectTimer)
            return;
        m_timers.stop(id);
        Control<QPushButton>(1250)->setEnabled(true);
        if (m_hooks.connect)
            m_hooks.connect();
    };
    fill();
}

CColorSetting::~CColorSetting() = default;

void CColorSetting::fill()
{
    const AppSettings& s = g_AppSettings;
    m_text->setChecked(true);
    m_tickState->setCurrentIndex(0);
    m_tickState->setEnabled(true);
    if (m_segment->count() > 0)
        m_segment->setCurrentIndex(0);
    m_feeds->setCurrentIndex(g_Config.Feeds_Type == 5 ? 0 : g_Config.Feeds_Type == 2 ? 1 : -1);
    Control<QCheckBox>(1154)->setChecked(s.auto_feeds != 0);
    Control<QCheckBox>(1150)->setChecked(s.switches[0] == '1');
    Control<QCheckBox>(1152)->setChecked(s.order_success_switch != 0);
    Control<QLineEdit>(1192)->setText(QString::number(s.order_qty_limit));
    Control<QLineEdit>(1197)->setText(QString::asprintf("%.0f", s.order_value_limit));
    Control<QLineEdit>(1301)->setText(QString::number(s.lock_minutes));
    Control<QLineEdit>(1107)->setText(percentText(s.gain_threshold));
    Control<QLineEdit>(1109)->setText(percentText(s.loss_threshold));
    Control<QLineEdit>(1530)->setText(percentText(s.stoploss_percent));
    Control<CColourButton>(1111)->SetColour(s.gain_colour);
    Control<CColourButton>(1113)->SetColour(s.loss_colour);
    Control<QComboBox>(1227)->setCurrentIndex(s.mdi_group_style == 1 ? 1 : 0);
    Control<QCheckBox>(1229)->setChecked(s.alerts_switch != 0);
    m_gridlines->setChecked(s.gridlines != 0);
    Control<QCheckBox>(1363)->setChecked(s.dump_switch != 0);
    Control<QCheckBox>(1339)->setChecked(s.message_popup_switch != 0);
    Control<QCheckBox>(1340)->setChecked(s.switches[1] == '1');
    m_grid->setEnabled(s.gridlines != 0);
    showColours();
}

void CColorSetting::showColours()
{
    const AppSettings& s = g_AppSettings;
    if (m_grid->isChecked()) {
        m_tickState->setEnabled(false);
        m_tickColour->SetColour(s.gridline_colour);
    } else {
        m_tickState->setEnabled(true);
        const bool text = m_text->isChecked();
        const uint32_t texts[3] = {s.normal_text_colour, s.up_text_colour, s.down_text_colour};
        const uint32_t backs[3] = {s.normal_back_colour, s.up_back_colour, s.down_back_colour};
        const int state = std::clamp(m_tickState->currentIndex(), 0, 2);
        m_tickColour->SetColour(text ? texts[state] : backs[state]);
    }
    const int seg = m_segment->currentIndex();
    if (seg >= 0 && size_t(seg) < pv_user_info.segments.size()) {
        const ExchangeSegment& e = pv_user_info.segments[size_t(seg)];
        m_segmentColour->SetColour(m_text->isChecked() || m_grid->isChecked() ? e.text_colour : e.row_colour);
    }
}

void CColorSetting::storeTickColour(uint32_t colour)
{
    AppSettings& s = g_AppSettings;
    if (m_grid->isChecked()) {
        s.gridline_colour = colour;
        return;
    }
    uint32_t* texts[3] = {&s.normal_text_colour, &s.up_text_colour, &s.down_text_colour};
    uint32_t* backs[3] = {&s.normal_back_colour, &s.up_back_colour, &s.down_back_colour};
    const int state = std::clamp(m_tickState->currentIndex(), 0, 2);
    *(m_text->isChecked() ? texts[state] : backs[state]) = colour;
    update();
}

void CColorSetting::storeSegmentColour(uint32_t colour)
{
    const int seg = m_segment->currentIndex();
    if (seg < 0 || size_t(seg) >= pv_user_info.segments.size())
        return;
    ExchangeSegment& e = pv_user_info.segments[size_t(seg)];
    (m_text->isChecked() ? e.text_colour : e.row_colour) = colour;
}

void CColorSetting::onGridlinesSwitch(bool on)
{
    g_AppSettings.gridlines = on ? 1 : 0;
    // Ticking only offers the gridline colour ("Gridlines"); the feed colour
    // being chosen stays chosen, so the button never shows one colour while
    // editing another. Unticking takes the gridline choice away with it.
    if (!on && m_grid->isChecked()) {
        m_text->setChecked(true);
        m_tickState->setCurrentIndex(0);
    }
    m_grid->setEnabled(on);
    showColours();
}

void CColorSetting::OnDefaults()
{
    // Price alerts the user switched on stay on: the defaults would switch
    // them off, and a Save right after would silence every alert set.
    const short alerts = g_AppSettings.alerts_switch;
    const bool alertsShown = Control<QCheckBox>(1229)->isChecked();
    SetDefaultSettingsKeepingAccount();
    g_AppSettings.alerts_switch = alerts;
    // The controls show the defaults now, so a Save right after writes the
    // defaults rather than the values the controls showed before.
    fill();
    Control<QCheckBox>(1229)->setChecked(alertsShown);
}

void CColorSetting::OnFeedUpdate()
{
    try {
        const int chosen = m_feeds->currentIndex() == 0 ? 5 : m_feeds->currentIndex() == 1 ? 2 : g_Config.Feeds_Type;
        if (chosen == g_Config.Feeds_Type)
            return;
        if (m_hooks.disconnect)
            m_hooks.disconnect();
        g_Config.Feeds_Type = chosen;
        if (m_hooks.message)
            m_hooks.message("Pls wait for few seconds to ReConnect");
        if (m_hooks.writeUserConfig)
            m_hooks.writeUserConfig();
        // The reconnect waits on a timer, with "Update" off meanwhile, so the
        // window stays alive.
        Control<QPushButton>(1250)->setEnabled(false);
        m_timers.start(kReconnectTimer, kReconnectMs);
    } catch (...) {
        WriteLog(0, "Exception in setting OnFeedChg");
    }
}

void CColorSetting::fail(int field, const std::string& message)
{
    if (m_hooks.message)
        m_hooks.message(message);
    if (QWidget* w = findChild<QWidget*>(QString::number(field)))
        w->setFocus();
}

void CColorSetting::OnSave()
{
    AppSettings& s = g_AppSettings;
    s.order_success_switch = Control<QCheckBox>(1152)->isChecked() ? 1 : 0;
    const auto text = [this](int id) { return Control<QLineEdit>(id)->text().trimmed().toStdString(); };
    const SettingsCheck c = CheckSettings({text(1301), text(1107), text(1109), text(1530), text(1192), text(1197)});
    if (!c.ok) {
        fail(c.field, c.message);
        return;
    }
    s.lock_minutes = c.values.lockMinutes;
    s.order_qty_limit = c.values.quantity;
    s.order_value_limit = c.values.value;
    s.gain_threshold = c.values.gainPercent * 100;
    s.loss_threshold = c.values.lossPercent * 100;
    s.stoploss_percent = c.values.stopLossPercent * 100;
    s.gain_colour = Control<CColourButton>(1111)->Colour();
    s.loss_colour = Control<CColourButton>(1113)->Colour();
    s.alerts_switch = Control<QCheckBox>(1229)->isChecked() ? 1 : 0;
    s.gridlines = m_gridlines->isChecked() ? 1 : 0;
    s.dump_switch = Control<QCheckBox>(1363)->isChecked() ? 1 : 0;
    const int mdi = Control<QComboBox>(1227)->currentIndex();
    // Against what the frame applied when the dialog opened: the defaults
    // button has changed the record since.
    int applied = s.mdi_group_style;
    if (m_savedRecord.size() == sizeof g_AppSettings) {
        AppSettings opened;
        std::memcpy(&opened, m_savedRecord.data(), sizeof opened);
        applied = opened.mdi_group_style;
    }
    const bool lookChanged = mdi != applied;
    s.mdi_group_style = mdi;
    s.message_popup_switch = Control<QCheckBox>(1339)->isChecked() ? 1 : 0;
    s.switches[1] = Control<QCheckBox>(1340)->isChecked() ? '1' : '0';
    if (lookChanged && m_hooks.applicationLook)
        m_hooks.applicationLook();
    if (m_hooks.saveSettings)
        m_hooks.saveSettings();
    m_closing = true;
    accept();
}

void CColorSetting::OnCancel()
{
    // The colours and switches changed at once are put back, so a later
    // save of the record (a theme change) does not write what was cancelled.
    if (m_savedRecord.size() == sizeof g_AppSettings)
        std::memcpy(&g_AppSettings, m_savedRecord.data(), sizeof g_AppSettings);
    for (size_t i = 0; i < m_savedSegments.size() && i < pv_user_info.segments.size(); ++i) {
        pv_user_info.segments[i].text_colour = m_savedSegments[i].first;
        pv_user_info.segments[i].row_colour = m_savedSegments[i].second;
    }
    m_closing = true;
    reject();
}
