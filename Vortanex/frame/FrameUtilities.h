#pragma once
// Small helpers of the frame: the whole-file line reader, the PNG resource
// loader, the ribbon's popup button and the drawing of the progress dialog's
// animation area.
#include <QRect>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class ImageCollection;
class QImage;
class QPainter;
class QWidget;

namespace ui {
class CommandBar;
}

// Reads the file whole, trims blanks at both ends, cuts it at every LF or CR
// and appends each non-empty line to array. Returns the array's size, 0 with
// "Error : No Data in File." for an empty file, or -1 with the error text.
int ReadFileToArray(const std::string& name, std::string& error, std::vector<std::string>& array);

// Loads the PNG resource of that name (":/png/<name>.png"); false when absent.
bool LoadPngResource(QImage& image, const QString& name);

// A ribbon button whose click shows a small dialog below it.
class CMyRibbonBtnPopupDlg {
public:
    using Factory = std::function<QWidget*(QWidget* parent)>;
    CMyRibbonBtnPopupDlg(int id, QString text, Factory factory);

    void AddTo(ui::CommandBar& bar, int panel) const;
    // Copies what the button shows; the popup stays the source's.
    void CopyFrom(const CMyRibbonBtnPopupDlg& other);
    // The popup closes with its menu; nothing else to do.
    void ClosePopupDlg() {}

    int Id() const { return m_id; }
    const QString& Text() const { return m_text; }

private:
    int m_id;
    QString m_text;
    Factory m_factory;
};

// Fills area with the button face and draws the collection's images over it.
void DrawProgressAnimationArea(QPainter& painter, const QRect& area, const ImageCollection* images);
