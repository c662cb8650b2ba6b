#pragma once
// A transparent label in a chosen text colour: the parent shows through, and
// a new text leaves nothing of the old one behind.
#include <QLabel>

#include <cstdint>

class CMyStaticCtrl : public QLabel {
    Q_OBJECT
public:
    explicit CMyStaticCtrl(QWidget* parent = nullptr);

    // Normal weight (400), sans-serif family, the given face and height.
    void SetTextFont(const QString& face, int height);
    void SetTextColour(uint32_t colour);
    uint32_t TextColour() const { return m_textColour; }
    // Sets the text and repaints the label's area on the parent.
    void SetWindowText(const QString& text);

private:
    uint32_t m_textColour = 0x000000;
};
