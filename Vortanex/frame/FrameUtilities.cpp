#include "frame/FrameUtilities.h"

#include "frame/ImageCollections.h"
#include "app/base/MessageBox.h"

#include "ui/command_bar.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

int ReadFileToArray(const std::string& name, std::string& error, std::vector<std::string>& array)
{
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) {
        error = "Error : Getting File Stats Failed.";
        return -1;
    }
    if (st.st_size < 1) {
        error = "Error : No Data in File.";
        return 0;
    }
    std::string text;
    try {
        text.assign(size_t(st.st_size), '\0');
    } catch (const std::bad_alloc&) {
        error = "Error : Not Enough Memory";
        return -1;
    }
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "Error : Opening File Failed";
        return -1;
    }
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    if (got == 0) {
        error = "Error : No Data to Read.";
        return -1;
    }
    text.resize(got);
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        return int(array.size());
    text = text.substr(first, last - first + 1);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start) {
            try {
                array.emplace_back(text, start, end - start);
            } catch (const std::bad_alloc&) {
                MsgBoxOk(text.substr(start, end - start));
                MsgBoxOk("Array Length " + std::to_string(array.size()) + " len " + std::to_string(end - start));
                return -1;
            }
        }
        start = end + 1;
    }
    return int(array.size());
}

bool LoadPngResource(QImage& image, const QString& name)
{
    QImage loaded(":/png/" + name + ".png", "PNG");
    if (loaded.isNull())
        return false;
    image = std::move(loaded);
    return true;
}

CMyRibbonBtnPopupDlg::CMyRibbonBtnPopupDlg(int id, QString text, Factory factory)
    : m_id(id), m_text(std::move(text)), m_factory(std::move(factory))
{
}

void CMyRibbonBtnPopupDlg::AddTo(ui::CommandBar& bar, int panel) const
{
    bar.addPopupButton(panel, m_id, m_text, m_factory);
}

void CMyRibbonBtnPopupDlg::CopyFrom(const CMyRibbonBtnPopupDlg& other)
{
    m_id = other.m_id;
    m_text = other.m_text;
}

void DrawProgressAnimationArea(QPainter& painter, const QRect& area, const ImageCollection* images)
{
    painter.fillRect(area, QApplication::palette().color(QPalette::Button));
    if (!images || images->count() == 0)
        return;
    // The strip's images side by side, stretched over the whole area.
    const int n = images->count();
    for (int i = 0; i < n; ++i) {
        const QRect cell(area.left() + i * area.width() / n, area.top(), area.width() / n, area.height());
        painter.drawImage(cell, images->image(i));
    }
}
