#pragma once
// The user settings dialog "Vortanex Settings": tick, gridline and segment
// colours, the feed transport, order confirmation and limits, the lock time,
// the net-change highlights, the MDI grouping and the switches, over the
// global settings record. Colours and a few switches take effect at once;
// the rest is checked and stored by Save. Cancel puts the record (and the
// segment colours) back as they were when the dialog opened. UI thread.
#include "ui/ticker.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CColourButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

// The texts Save reads, and what it makes of them.
struct SettingsTexts {
    std::string lock, gain, loss, stopLoss, quantity, value;
};
struct SettingsValues {
    int lockMinutes = 0;
    double gainPercent = 0, lossPercent = 0, stopLossPercent = 0;
    int quantity = 0;
    double value = 0;
};
struct SettingsCheck {
    bool ok = false;
    int field = 0; // the control id of the first failure
    std::string message;
    SettingsValues values;
};
// The checks in Save's order; the first failure wins.
SettingsCheck CheckSettings(const SettingsTexts& texts);

class CColorSetting : public QDialog {
    Q_OBJECT
public:
    static constexpr int kReconnectTimer = 1;
    static constexpr int kReconnectMs = 10000;

    struct Hooks {
        std::function<void()> disconnect;
        std::function<void()> connect;
        std::function<void()> writeUserConfig;
        std::function<void()> saveSettings;
        std::function<void()> applicationLook; // after the MDI group style changed
        std::function<void(const std::string&)> message;
    };

    explicit CColorSetting(Hooks hooks, QWidget* parent = nullptr);
    ~CColorSetting() override;

    // The control of an id ("1301"), for tests and the keyboard focus.
    template <class T> T* Control(int id) const { return findChild<T*>(QString::number(id)); }

    void OnSave();      // 1
    void OnCancel();    // 2
    void OnDefaults();  // 1222
    void OnFeedUpdate(); // 1250
    ui::Ticker& Timers() { return m_timers; }

private:
    void fill();
    void showColours();
    void storeTickColour(uint32_t colour);
    void storeSegmentColour(uint32_t colour);
    void onGridlinesSwitch(bool on);
    void fail(int field, const std::string& message);

    Hooks m_hooks;
    std::vector<unsigned char> m_savedRecord;        // the settings record as it was on opening
    std::vector<std::pair<uint32_t, uint32_t>> m_savedSegments; // text and back colours
    bool m_closing = false;
    ui::Ticker m_timers;
    int m_pendingFeedType = 0;

    QComboBox* m_tickState;
    QRadioButton* m_text;
    QRadioButton* m_back;
    QRadioButton* m_grid;
    CColourButton* m_tickColour;
    QComboBox* m_segment;
    CColourButton* m_segmentColour;
    QComboBox* m_feeds;
    QCheckBox* m_gridlines;
};
