#pragma once
// A colour button: shows its colour; its drop-down offers ten columns of
// colours and "Other Colors", which asks the colour prompter. Colours are
// 0x00BBGGRR as the settings keep them. UI thread.
#include <QToolButton>

#include <cstdint>
#include <vector>

class CColourButton : public QToolButton {
    Q_OBJECT
public:
    explicit CColourButton(const QString& caption, QWidget* parent = nullptr);

    void SetColour(uint32_t bgr); // shows it; no signal
    uint32_t Colour() const { return m_colour; }

    // The palette's colours, ten per row.
    static const std::vector<uint32_t>& Palette();
    static constexpr int kColumns = 10;

    // What choosing does: a palette entry, or "Other Colors" (the prompter).
    void ChoosePalette(int index);
    void ChooseOther();

signals:
    void colourChosen(uint32_t bgr);

private:
    void choose(uint32_t bgr);
    uint32_t m_colour = 0;
};
